// The longest single services: each benchmark is one service call at the largest size a guest
// can ask for under the default layer-memory budget (1 GiB: two layers of 10009 x 10009), made
// through the service gate as a guest's BREAK makes it. Their times are the figures of "Resource
// limits" in docs/runner.md.
//
//   velmora_limits_bench [--benchmark_filter=...]   (needs about 1 GiB of memory and, for the
//                                                    image and folder cases, room in $TMPDIR)
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <string>

#include "core/hostcall.h"
#include "core/machine.h"
#include "graphics/canvas.h"
#include "host/host_services.h"
#include "services/gate.h"
#include "services/guest.h"

using namespace velmora;

namespace {

constexpr int32_t kSide = kMaxLayerSide;  // 10009
constexpr uint16_t kNameAddress = 0x1000;

void Call(uint8_t group, uint8_t function, std::initializer_list<int32_t> words = {}) {
  uint32_t address = kArgumentAddress;
  for (int32_t word : words) {
    SetGuestWord(address, uint16_t(word));
    address += 2;
  }
  Machine.data[kFunctionAddress] = function;
  Machine.data[kGroupAddress] = group;
  ServiceCall();
}

// The current layer (1) and a second one (2), both 10009 x 10009, the clip over all of it.
void StartLargest() {
  std::memset(Machine.data, 0, sizeof Machine.data);
  InstallAllServices();
  CreateCanvas();
  Call(3, 73, {1, kSide, kSide, 0});
  Call(3, 73, {2, kSide, kSide, 0});
  Call(3, 5, {1});
  if (!LayerExists(1) || !LayerExists(2)) std::fprintf(stderr, "the largest layers did not fit\n");
}

std::string Scratch() {
  const char* tmp = std::getenv("TMPDIR");
  return std::string(tmp && *tmp ? tmp : "/tmp") + "/velmora_limits_bench";
}

void BM_FloodFillWholeLayer(benchmark::State& state) {
  StartLargest();
  for (auto _ : state) Call(3, 71, {kSide / 2, kSide / 2, 0});  // mode 0: no border anywhere
  DestroyCanvas();
}
BENCHMARK(BM_FloodFillWholeLayer)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_NoiseWholeLayer(benchmark::State& state) {
  StartLargest();
  for (auto _ : state) Call(3, 26, {0, 0, kSide - 1, kSide - 1});
  DestroyCanvas();
}
BENCHMARK(BM_NoiseWholeLayer)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_CopyWholeLayer(benchmark::State& state) {
  StartLargest();
  for (auto _ : state) Call(3, 70, {2, 0, 0, 0, 0, kSide, kSide});
  DestroyCanvas();
}
BENCHMARK(BM_CopyWholeLayer)->Unit(benchmark::kMillisecond)->Iterations(3);

// 300 MB written, then read back into the layer.
void BM_SaveAndLoadWholeLayer(benchmark::State& state) {
  StartLargest();
  const std::string path = Scratch() + ".bmp";
  WriteGuestString(kNameAddress, path);
  for (auto _ : state) {
    Call(3, 66, {kNameAddress, 1});
    Call(3, 68, {kNameAddress, 0, 0});
  }
  std::remove(path.c_str());
  DestroyCanvas();
}
BENCHMARK(BM_SaveAndLoadWholeLayer)->Unit(benchmark::kMillisecond)->Iterations(2);

// System-font text at the largest cell height, as much as the layer can show.
void BM_LargestTextWholeLayer(benchmark::State& state) {
  StartLargest();
  WriteGuestString(kNameAddress + 0x100, "");
  WriteGuestString(kNameAddress, std::string(200, 'W') + "\n" + std::string(200, 'W') + "\n" +
                                     std::string(200, 'W'));
  Machine.data[kArgumentAddress] = 1;  // 37: slot 1, height 4096, face ""
  SetGuestWord(kArgumentAddress + 1, 4096);
  std::memset(Machine.data + kArgumentAddress + 3, 0, 4);
  SetGuestWord(kArgumentAddress + 7, kNameAddress + 0x100);
  Machine.data[kFunctionAddress] = 37;
  Machine.data[kGroupAddress] = 3;
  ServiceCall();
  Machine.data[kArgumentAddress] = 1;  // 38: text from slot 1
  Machine.data[kFunctionAddress] = 38;
  Machine.data[kGroupAddress] = 3;
  ServiceCall();
  for (auto _ : state) Call(3, 40, {0, 0, kNameAddress});
  DestroyCanvas();
}
BENCHMARK(BM_LargestTextWholeLayer)->Unit(benchmark::kMillisecond)->Iterations(2);

// Exists (7.45) with a pattern nothing matches reads the whole folder: per 100,000 entries.
void BM_PatternOverLargeFolder(benchmark::State& state) {
  const std::string folder = Scratch();
  std::filesystem::create_directories(folder);
  for (int i = 0; i < state.range(0); ++i) {
    const std::string name = folder + "/f" + std::to_string(i);
    if (FILE* f = std::fopen(name.c_str(), "w")) std::fclose(f);
  }
  std::memset(Machine.data, 0, sizeof Machine.data);
  InstallAllServices();
  WriteGuestString(kNameAddress, folder + "/*.none");
  for (auto _ : state) Call(7, 45, {kNameAddress});
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_PatternOverLargeFolder)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
