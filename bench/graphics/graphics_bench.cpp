// Drawing throughput through the service gate (arguments written into guest memory, then
// ServiceCall, exactly what a guest's BREAK does), and the cost of a BREAK round trip measured
// from a running guest loop.
//
//   velmora_graphics_bench [--benchmark_filter=...]
//
// Items per second are service calls (or, for the round trip, guest loop passes).
#include <benchmark/benchmark.h>

#include <cstring>
#include <initializer_list>
#include <random>

#include "core/dispatch.h"
#include "core/hostcall.h"
#include "core/machine.h"
#include "graphics/canvas.h"
#include "host/host_services.h"
#include "services/gate.h"
#include "services/guest.h"

using namespace velmora;

namespace {

void Call(uint8_t function, std::initializer_list<int32_t> words = {}) {
  uint32_t address = kArgumentAddress;
  for (int32_t word : words) {
    SetGuestWord(address, uint16_t(word));
    address += 2;
  }
  Machine.data[kFunctionAddress] = function;
  Machine.data[kGroupAddress] = 3;
  ServiceCall();
}

// A canvas with the current layer width × height, shown whole.
void Start(int32_t width, int32_t height) {
  std::memset(Machine.data, 0, sizeof Machine.data);
  InstallAllServices();
  CreateCanvas();
  Call(73, {1, width, height, 0});
  Call(5, {1});
  Call(1, {width, height});
}

void BM_FullScreenFill(benchmark::State& state) {
  const int32_t width = int32_t(state.range(0)), height = int32_t(state.range(1));
  Start(width, height);
  for (auto _ : state) Call(44, {0, 0, width - 1, height - 1});
  state.SetItemsProcessed(state.iterations());
  state.counters["Mpixel/s"] = benchmark::Counter(double(state.iterations()) * width * height / 1e6,
                                                  benchmark::Counter::kIsRate);
  DestroyCanvas();
}
BENCHMARK(BM_FullScreenFill)->Args({240, 120})->Args({1024, 768});

void BM_Lines(benchmark::State& state) {
  Start(240, 120);
  Call(6, {int32_t(state.range(0))});
  std::mt19937 random(1);
  int32_t ends[1024][4];
  for (auto& e : ends)
    e[0] = random() % 240, e[1] = random() % 120, e[2] = random() % 240, e[3] = random() % 120;
  size_t i = 0;
  for (auto _ : state) {
    const int32_t* e = ends[i++ & 1023];
    Call(29, {e[0], e[1], e[2], e[3]});
  }
  state.SetItemsProcessed(state.iterations());
  DestroyCanvas();
}
BENCHMARK(BM_Lines)->Arg(1)->Arg(5);

void BM_Circles(benchmark::State& state) {
  Start(240, 120);
  const uint8_t function = uint8_t(state.range(0));
  const int32_t radius = int32_t(state.range(1));
  int32_t x = 0;
  for (auto _ : state) {
    Call(function, {60 + (x++ & 63), 60, radius});
  }
  state.SetItemsProcessed(state.iterations());
  DestroyCanvas();
}
// 32: outline, 33: filled; radius 40 on screen, 32767 mostly off it.
BENCHMARK(BM_Circles)->Args({32, 40})->Args({33, 40})->Args({32, 32767})->Args({33, 32767});

// The worst cases of bounded work: the widest pen and the largest shapes on a big layer.
void BM_WidestPen(benchmark::State& state) {
  Start(2000, 2000);
  Call(6, {20000});
  const uint8_t function = uint8_t(state.range(0));
  for (auto _ : state) {
    if (function == 34) Call(34, {-32768, -32768, 32767, 32767});  // ellipse around the layer
    if (function == 32) Call(32, {1000, 1000, 5000});              // circle over the layer
    if (function == 29) Call(29, {-32768, 0, 32767, 2000});
    if (function == 63) Call(63, {0, 0, 32767, 2000, -32768, 0, 2000, 2000});  // 2048 pieces
  }
  state.SetItemsProcessed(state.iterations());
  DestroyCanvas();
}
BENCHMARK(BM_WidestPen)->Arg(34)->Arg(32)->Arg(29)->Arg(63)->Unit(benchmark::kMillisecond);

// The eight test-card families in one pass: 60 calls of lines, rectangles, ellipses, arcs,
// pies, curves, wide pens and clipping on a 240 × 120 layer.
void BM_TestCard(benchmark::State& state) {
  Start(240, 120);
  for (auto _ : state) {
    Call(4);
    Call(6, {1});
    for (int32_t i = 0; i < 16; ++i) Call(29, {40, 40, 40 + (i * 7) % 61 - 30, 10 + i * 4});
    Call(24, {4, 4, 24, 20});
    Call(30, {30, 4, 20, 16});
    Call(53, {50, 28, 40, 20, 5});
    Call(55, {142, 48, 182, 28, 20});
    for (int32_t r = 0; r < 8; ++r) Call(33, {6 + r * 18, 28, r});
    Call(59, {4, 44, 54, 84, 54, 64, 29, 44});
    Call(64, {60, 44, 110, 84, 110, 64, 85, 44});
    Call(65, {116, 44, 156, 84, 150, 50, 120, 50});
    Call(63, {4, 4, 60, 4, 4, 56, 60, 56});
    Call(6, {5});
    Call(34, {60, 54, 110, 84});
    Call(29, {10, 100, 200, 110});
    Call(63, {120, 115, 140, 80, 180, 130, 200, 92});
    Call(6, {1});
    Call(16, {20, 20, 120, 100});
    Call(52, {0, 0, 60, 60});
    Call(26, {0, 85, 239, 90});
    Call(17);
  }
  state.SetItemsProcessed(state.iterations());
  DestroyCanvas();
}
BENCHMARK(BM_TestCard);

// A guest loop: set the group byte, BREAK (or a NOP in its place), jump back. The difference
// between the two is the cost of one round trip through the gate to a service.
void BM_BreakRoundTrip(benchmark::State& state) {
  const bool with_break = state.range(0) != 0;
  const uint8_t function = uint8_t(state.range(1));
  Start(240, 120);
  ClearMachine();
  const uint16_t program[] = {
      0xE003,  // LDI r16, 3
      0x9300,
      0x0048,                                  // STS 0x48, r16
      uint16_t(with_break ? 0x9598 : 0x0000),  // BREAK or NOP
      0xCFFB,                                  // RJMP back to the LDI
  };
  std::memcpy(Machine.program, program, sizeof program);
  ResetMachine();
  Machine.data[kFunctionAddress] = function;
  SetGuestWord(0x60, 5);
  SetGuestWord(0x62, 5);
  constexpr uint64_t kPasses = 1 << 16;
  for (auto _ : state) {
    RunInstructions(4 * kPasses);
    if (Machine.fault != 0) state.SkipWithError("guest stopped");
  }
  state.SetItemsProcessed(state.iterations() * kPasses);
  DestroyCanvas();
}
// Function 0 does nothing; function 19 plots one pixel.
BENCHMARK(BM_BreakRoundTrip)->Args({0, 0})->Args({1, 0})->Args({1, 19});

}  // namespace

BENCHMARK_MAIN();
