// Guest instructions per second of Velmora's processor and of simavr on the same CPU-bound
// programs, side by side.
//
//   velmora_cpu_bench [--repeat N] WORKLOAD.hex ...
//
// Each workload ends by leaving a 32-bit result in r25:r22 and reaching the undefined word
// 0x9404: Velmora stops there with fault 2; simavr, which runs undefined words as no-ops, is
// stopped by the harness when pc reaches it. Both must agree on the result and the instruction
// count. Velmora runs in process through RunInstructions, the run loop of the host. simavr runs
// through avr_run (its normal per-instruction entry with cycle timers and interrupt checks); its
// bare core step avr_run_one is measured as well. Times are CPU time of the running thread.
#include <simavr/sim_avr.h>
#include <simavr/sim_core.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "core/dispatch.h"
#include "core/engine.h"
#include "core/machine.h"

using namespace velmora;

namespace {

constexpr uint16_t kStopWord = 0x9404;
constexpr uint32_t kSimavrFlash = 0x40000;

struct Run {
  uint64_t instructions = 0;  // up to, not including, the stop word
  double seconds = 0;
  uint32_t result = 0;
  bool ok = false;
};

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Intel HEX records 00 (data), 01 (end), 02 and 04 (address bases).
bool ReadHex(const char* path, std::vector<uint8_t>& image) {
  FILE* f = std::fopen(path, "r");
  if (!f) return false;
  image.assign(kSimavrFlash, 0xFF);
  char line[600];
  uint32_t base = 0;
  size_t used = 0;
  bool ok = true;
  while (ok && std::fgets(line, sizeof line, f)) {
    if (line[0] != ':') continue;
    uint8_t bytes[300];
    size_t n = 0;
    for (const char* p = line + 1; HexDigit(p[0]) >= 0 && HexDigit(p[1]) >= 0 && n < 300; p += 2)
      bytes[n++] = uint8_t(HexDigit(p[0]) * 16 + HexDigit(p[1]));
    if (n < 5 || n != size_t(bytes[0]) + 5u) return std::fclose(f), false;
    const uint32_t offset = uint32_t(bytes[1] << 8 | bytes[2]);
    switch (bytes[3]) {
      case 0:
        for (uint32_t i = 0; i < bytes[0]; ++i) {
          const uint32_t a = base + offset + i;
          if (a >= kSimavrFlash) {
            ok = false;
            break;
          }
          image[a] = bytes[4 + i];
          used = std::max<size_t>(used, a + 1);
        }
        break;
      case 2:
        base = uint32_t(bytes[4] << 8 | bytes[5]) << 4;
        break;
      case 4:
        base = uint32_t(bytes[4] << 8 | bytes[5]) << 16;
        break;
      default:
        break;
    }
  }
  std::fclose(f);
  image.resize(used);
  return ok && used > 0;
}

// CPU time of this thread: the machines share the host with other work, and wall time would
// charge them for it.
double Now() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

Run RunVelmora(const std::vector<uint8_t>& image, EngineKind engine) {
  ClearMachine();
  std::memcpy(Machine.program, image.data(), image.size());
  ForgetDecodedProgram();
  ResetMachine();
  Run run;
  const double start = Now();
  const uint64_t executed = RunEngine(engine, UINT64_MAX);
  run.seconds = Now() - start;
  const uint32_t pc = Machine.pc;
  const uint16_t word = uint16_t(Machine.program[2 * pc] | (Machine.program[2 * pc + 1] << 8));
  run.ok = Machine.fault == kFaultUndefinedOneOperand && word == kStopWord;
  run.instructions = executed - 1;  // the stop word itself
  run.result = uint32_t(Machine.data[22] | Machine.data[23] << 8 | Machine.data[24] << 16 |
                        uint32_t(Machine.data[25]) << 24);
  return run;
}

Run RunSimavr(const std::vector<uint8_t>& image, bool coreOnly) {
  Run run;
  avr_t* avr = avr_make_mcu_by_name("atmega2560");
  if (!avr || avr_init(avr) != 0) return run;
  avr->log = 0;
  std::vector<uint8_t> code = image;
  avr_loadcode(avr, code.data(), uint32_t(code.size()), 0);
  const uint8_t* flash = avr->flash;
  uint64_t count = 0;
  const double start = Now();
  if (coreOnly) {
    for (;;) {
      const uint32_t pc = avr->pc;
      if ((flash[pc] | flash[pc + 1] << 8) == kStopWord) break;
      avr->pc = avr_run_one(avr);
      ++count;
    }
  } else {
    for (;;) {
      const uint32_t pc = avr->pc;
      if ((flash[pc] | flash[pc + 1] << 8) == kStopWord) break;
      const int state = avr_run(avr);
      ++count;
      if (state == cpu_Done || state == cpu_Crashed) break;
    }
  }
  run.seconds = Now() - start;
  run.instructions = count;
  run.ok = avr->state == cpu_Running;
  run.result = uint32_t(avr->data[22] | avr->data[23] << 8 | avr->data[24] << 16 |
                        uint32_t(avr->data[25]) << 24);
  avr_terminate(avr);
  return run;
}

// The fastest of `repeat` runs.
template <typename F>
Run Best(int repeat, F run) {
  Run best = run();
  for (int i = 1; i < repeat; ++i) {
    const Run next = run();
    if (next.seconds < best.seconds) best = next;
  }
  return best;
}

double Mips(const Run& r) {
  return r.seconds > 0 ? r.instructions / r.seconds / 1e6 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  int repeat = 2;
  std::vector<const char*> paths;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--repeat") && i + 1 < argc) {
      repeat = std::max(1, std::atoi(argv[++i]));
    } else {
      paths.push_back(argv[i]);
    }
  }
  if (paths.empty()) {
    std::fprintf(stderr, "usage: velmora_cpu_bench [--repeat N] WORKLOAD.hex ...\n");
    return 64;
  }
  std::printf("%-10s %13s %10s %10s %13s %8s %17s\n", "workload", "instructions", "fast MIPS",
              "ref MIPS", "simavr MIPS", "ratio", "simavr core MIPS");
  int failures = 0;
  double lowest = 1e9;
  for (const char* path : paths) {
    std::string name = path;
    name = name.substr(name.find_last_of('/') + 1);
    name = name.substr(0, name.find('.'));
    std::vector<uint8_t> image;
    if (!ReadHex(path, image)) {
      std::fprintf(stderr, "%s: cannot read the HEX file\n", path);
      ++failures;
      continue;
    }
    const Run velmora = Best(repeat, [&] { return RunVelmora(image, EngineKind::kFast); });
    const Run reference = Best(repeat, [&] { return RunVelmora(image, EngineKind::kReference); });
    const Run simavr = Best(repeat, [&] { return RunSimavr(image, false); });
    const Run core = Best(repeat, [&] { return RunSimavr(image, true); });
    const bool agree =
        velmora.ok && simavr.ok && core.ok && reference.ok &&
        reference.instructions == velmora.instructions && reference.result == velmora.result &&
        velmora.instructions == simavr.instructions && velmora.instructions == core.instructions &&
        velmora.result == simavr.result && velmora.result == core.result;
    const double ratio = Mips(simavr) > 0 ? Mips(velmora) / Mips(simavr) : 0;
    lowest = std::min(lowest, ratio);
    std::printf("%-10s %13llu %10.1f %10.1f %13.1f %7.2fx %17.1f\n", name.c_str(),
                static_cast<unsigned long long>(velmora.instructions), Mips(velmora),
                Mips(reference), Mips(simavr), ratio, Mips(core));
    if (!agree) {
      std::fprintf(stderr,
                   "%s: the machines disagree: velmora %llu instructions, result 0x%08X%s; "
                   "simavr %llu, 0x%08X; simavr core %llu, 0x%08X\n",
                   name.c_str(), static_cast<unsigned long long>(velmora.instructions),
                   velmora.result, velmora.ok ? "" : " (no clean stop)",
                   static_cast<unsigned long long>(simavr.instructions), simavr.result,
                   static_cast<unsigned long long>(core.instructions), core.result);
      ++failures;
    }
  }
  std::printf("lowest ratio: %.2fx\n", lowest);
  return failures ? 1 : 0;
}
