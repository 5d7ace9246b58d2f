// Which fast-engine handlers run, and which pairs of them run back to back inside a block, on
// guest programs: the measurement behind the engine's superinstructions.
//
//   velmora_pair_profile [--top N] WORKLOAD.hex ...
//
// Each program runs on the reference core from reset to its end (fault or 500 million
// instructions); every executed instruction is looked up in the fast engine's decode cache.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "core/dispatch.h"
#include "core/engine.h"
#include "core/fast_engine.h"
#include "core/machine.h"

using namespace velmora;

namespace {

const char* const kOpNames[] = {
#define VELMORA_FAST_OP_NAME(name) #name,
#define VELMORA_FAST_PAIR_NAME(first, second) #first "+" #second,
    VELMORA_FAST_PLAIN_OPS(VELMORA_FAST_OP_NAME) VELMORA_FAST_OTHER_OPS(VELMORA_FAST_OP_NAME)
        VELMORA_FAST_PAIRS(VELMORA_FAST_PAIR_NAME) VELMORA_FAST_JOINS(VELMORA_FAST_PAIR_NAME)
#undef VELMORA_FAST_OP_NAME
#undef VELMORA_FAST_PAIR_NAME
};

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool LoadHex(const char* path) {
  FILE* f = std::fopen(path, "r");
  if (!f) return false;
  std::memset(Machine.program, 0xFF, kProgramBytes);
  char line[600];
  uint32_t base = 0;
  while (std::fgets(line, sizeof line, f)) {
    if (line[0] != ':') continue;
    uint8_t bytes[300];
    size_t n = 0;
    for (const char* p = line + 1; HexDigit(p[0]) >= 0 && HexDigit(p[1]) >= 0 && n < 300; p += 2)
      bytes[n++] = uint8_t(HexDigit(p[0]) * 16 + HexDigit(p[1]));
    if (n < 5) continue;
    const uint32_t offset = uint32_t(bytes[1] << 8 | bytes[2]);
    if (bytes[3] == 0) {
      for (uint32_t i = 0; i < bytes[0] && base + offset + i < kProgramBytes; ++i)
        Machine.program[base + offset + i] = bytes[4 + i];
    } else if (bytes[3] == 2) {
      base = uint32_t(bytes[4] << 8 | bytes[5]) << 4;
    } else if (bytes[3] == 4) {
      base = uint32_t(bytes[4] << 8 | bytes[5]) << 16;
    }
  }
  std::fclose(f);
  return true;
}

int OpOf(uint32_t pc) {
  if (!FastChunkReady[pc >> kChunkShift]) PrepareChunk(pc >> kChunkShift);
  if (FastCache[pc].handler == FastHandlers[kOpDECODE]) DecodeBlock(pc);
  return DecodedOp(pc);
}

}  // namespace

int main(int argc, char** argv) {
  int top = 40;
  std::vector<const char*> paths;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--top") && i + 1 < argc) {
      top = std::atoi(argv[++i]);
    } else {
      paths.push_back(argv[i]);
    }
  }
  RunFastInstructions(0);  // publishes the handler table
  std::map<int, uint64_t> singles;
  std::map<std::pair<int, int>, uint64_t> pairs;
  uint64_t total = 0;
  static int op_at[kProgramWords];
  for (const char* path : paths) {
    ClearMachine();
    if (!LoadHex(path)) {
      std::fprintf(stderr, "%s: cannot read\n", path);
      return 1;
    }
    ForgetDecodedProgram();
    ResetMachine();
    std::fill(std::begin(op_at), std::end(op_at), -1);
    int previous = -1;
    for (uint64_t n = 0; n < 500000000 && Machine.fault == 0; ++n) {
      const uint32_t pc = Machine.pc;
      if (pc >= kProgramWords) break;
      if (op_at[pc] < 0) op_at[pc] = OpOf(pc);
      const int op = op_at[pc];
      ++singles[op];
      ++total;
      if (previous >= 0) ++pairs[{previous, op}];
      StepInstruction();
      // A pair is two instructions of one block: the first one is no terminator.
      previous = FastCache[pc].count > 1 ? op : -1;
    }
  }
  std::vector<std::pair<uint64_t, std::string>> rows;
  for (const auto& [op, n] : singles) rows.push_back({n, kOpNames[op]});
  std::sort(rows.rbegin(), rows.rend());
  std::printf("%llu instructions\nhandlers:\n", static_cast<unsigned long long>(total));
  for (int i = 0; i < int(rows.size()) && i < top; ++i)
    std::printf("  %5.2f%%  %s\n", 100.0 * double(rows[i].first) / double(total),
                rows[i].second.c_str());
  rows.clear();
  for (const auto& [p, n] : pairs)
    rows.push_back({n, std::string(kOpNames[p.first]) + " + " + kOpNames[p.second]});
  std::sort(rows.rbegin(), rows.rend());
  std::printf("pairs inside a block:\n");
  for (int i = 0; i < int(rows.size()) && i < top; ++i)
    std::printf("  %5.2f%%  %s\n", 100.0 * double(rows[i].first) / double(total),
                rows[i].second.c_str());
  return 0;
}
