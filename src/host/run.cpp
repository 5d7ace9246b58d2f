#include "host/run.h"

#include <chrono>
#include <cstring>
#include <string_view>
#include <vector>

#include "core/dispatch.h"
#include "core/encodings.h"
#include "core/engine.h"
#include "core/machine.h"
#include "graphics/canvas.h"
#include "graphics/text.h"
#include "host/events.h"
#include "host/hex_loader.h"
#include "host/host_services.h"
#include "host/system_services.h"
#include "host/window.h"
#include "io/file_layer.h"
#include "io/sandbox.h"
#include "io/slots.h"
#include "platform/platform.h"
#include "services/gate.h"
#include "services/random.h"
#include "services/status.h"
#include "text/primitives.h"

namespace velmora {

uint8_t BootLoadCode = 0;
bool EchoBootReport = false;
volatile std::sig_atomic_t RunInterrupted = 0;
void (*RunWatch)(double seconds) = nullptr;
EngineKind RunEngineKind = EngineKind::kJit;

bool EngineFromName(std::string_view name, EngineKind* engine) {
  if (name == "reference") {
    *engine = EngineKind::kReference;
  } else if (name == "fast") {
    *engine = EngineKind::kFast;
  } else if (name == "jit") {
    *engine = EngineKind::kJit;
  } else {
    return false;
  }
  return true;
}

const char* EngineName(EngineKind engine) {
  switch (engine) {
    case EngineKind::kFast:
      return "fast";
    case EngineKind::kJit:
      return "jit";
    case EngineKind::kReference:
      break;
  }
  return "reference";
}
uint64_t GuestPumps = 0;

namespace {

// Boot report lines and their places on the screen.
constexpr int32_t kBannerY = 0;
constexpr int32_t kStatusY = 16;
constexpr int32_t kTooBigY = 32;
constexpr int32_t kNotFoundY = 48;

// The first byte of a runnable program: the low byte of its first instruction word.
constexpr uint8_t kFirstByteLowest = 0x0C;
constexpr uint8_t kFirstByteHighest = 0xFC;

// Instructions between two looks at the limit and the clock: small enough for a timeout to
// answer within milliseconds, large enough to cost nothing per instruction.
constexpr uint64_t kRunChunk = 1 << 18;
// With the watch over an unresponsive guest: a look at the queue every few milliseconds.
constexpr uint64_t kWatchedRunChunk = 1 << 15;
constexpr uint32_t kWatchMilliseconds = 5;

// The boot report's lines, in order, until ShowBootReport draws them.
struct BootReportLine {
  int32_t y;
  std::string text;
};
std::vector<BootReportLine> PendingBootReport;

void BootLine(int32_t y, const std::string& text) {
  PendingBootReport.push_back({y, text});
  BeforeNextService = ShowBootReport;
  if (EchoBootReport) fprintf(stderr, "%s\n", text.c_str());
}

// The program's directory becomes the working directory, so that the guest's relative file names
// refer to it. A path without a directory part leaves the working directory as it is.
void EnterProgramDirectory(const char* path) {
  const std::string_view text(path);
  const size_t cut = text.find_last_of("\\/");
  if (cut == std::string_view::npos) return;
  const std::string directory =
      cut == 0 ? std::string(text.substr(0, 1)) : std::string(text.substr(0, cut));
  FileSetCurrentDir(directory.c_str());
}

BootOutcome FailBoot(uint8_t code) {
  BootLoadCode = code;
  BootLine(kStatusY, "Load HEX program error " + std::to_string(code));
  if (code == kHexTooBig) {
    BootLine(kTooBigY, "Program too big. Supports only 256kB.");
  } else {
    BootLine(kNotFoundY, "Program not found");
  }
  return BootOutcome::kLoadFailed;
}

}  // namespace

namespace {

FILE* ServiceTraceFile = nullptr;

void TraceServiceCall(uint8_t group, uint8_t function) {
  std::fprintf(ServiceTraceFile, "%s\n", ServiceTraceLine(group, function).c_str());
}

}  // namespace

std::string ServiceTraceLine(uint8_t group, uint8_t function) {
  const char* name = ServiceName(group, function);
  char line[96];
  std::snprintf(line, sizeof line, "%06X  %u.%u  %s  status %u", Machine.pc, group, function,
                name ? name : "-", Machine.data[kStatusAddress]);
  return line;
}

void TraceServicesTo(FILE* file) {
  ServiceTraceFile = file;
  ServiceCallWatcher = file ? TraceServiceCall : nullptr;
}

void ShowBootReport() {
  if (PendingBootReport.empty()) return;
  // A canvas released before anything looked at it (the window closed) shows nothing.
  if (ScreenSurface.pixels != nullptr) {
    for (const BootReportLine& line : PendingBootReport) DrawTextAt(0, line.y, line.text);
    PlatformRequestRepaint();
  }
  PendingBootReport.clear();
  if (BeforeNextService == ShowBootReport) BeforeNextService = nullptr;  // drawn by a paint
}

BootOutcome StartHost(const char* program_path, uint32_t seed) {
  PendingBootReport.clear();
  // A process that starts a second run (tests, fuzzing) loads its program unconfined again.
  LeaveSandbox();
  InstallAllServices();
  CreateCanvas();
  FitWindowToSurface();
  SeedRandom(seed);
  PlatformSetTitle("");
  GuestClockOffset = 0;

  // CreateCanvas left the screen filled with the background brush.
  SystemFontMode = 1;
  BootLine(kBannerY, "Velmora ver. 0");

  if (program_path == nullptr) return FailBoot(kHexBadDigit);
  BootLoadCode = LoadHexProgram(program_path);
  if (BootLoadCode != kHexLoaded) return FailBoot(BootLoadCode);
  EnterProgramDirectory(program_path);

  const uint8_t first = Machine.program[0];
  if (first < kFirstByteLowest || first > kFirstByteHighest) {
    BootLine(kStatusY, "Error: bad instruction");
    return BootOutcome::kBadInstruction;
  }
  BootLine(kStatusY, "HEX Load Ok " + std::to_string(ProgramSize) + " bytes");
  // A guest that was to be confined never runs unconfined: a program that did not look at the
  // environment itself still honours VELMORA_SANDBOX, and a quota it cannot read stops the run.
  std::string sandbox_error;
  if (RequestedSandbox.directory.empty() && !ReadSandboxEnvironment(&sandbox_error)) {
    return BootOutcome::kNoSandbox;
  }
  if (!RequestedSandbox.directory.empty() && !EnterSandbox(RequestedSandbox)) {
    return BootOutcome::kNoSandbox;
  }

  ResetFileSlots();
  ResetTimers();
  ResetKeySnapshot();
  ResetMachine();
  return BootOutcome::kReady;
}

uint32_t StartSeed() {
  PlatformDateTime now;
  PlatformLocalTime(&now);
  int32_t x = 0;
  int32_t y = 0;
  PlatformCursorPosition(&x, &y);
  return uint32_t(now.second) + uint32_t(now.millisecond) + uint32_t(x) + uint32_t(y) * 256u +
         PlatformTickCount();
}

bool FindProgramPath(const char* command_line, std::string* path) {
  if (command_line != nullptr && command_line[0] != '\0') {
    std::string_view text(command_line);
    const size_t quote = text.find('"');
    if (quote != std::string_view::npos) {
      text.remove_prefix(quote + 1);
      const size_t closing = text.find('"');
      if (closing != std::string_view::npos) text = text.substr(0, closing);
    }
    path->assign(text);
    return true;
  }
  std::string executable;
  if (!PlatformGetExecutablePath(&executable)) return false;
  // The platform hands paths back with backslashes: the stem is the name without directory and
  // last extension, looked for in the working directory.
  std::string stem = executable;
  PathStem(stem);
  if (FileExists((stem + ".hex").c_str())) {
    *path = stem + ".hex";
    return true;
  }
  const std::string list = stem + ".path";
  if (!FileExists(list.c_str())) return false;
  const FileHandle file = FileOpen(list.c_str(), kOpenRead);
  if (file == kInvalidHandle) return false;
  char line[512] = {};
  FileReadLine(file, sizeof line, reinterpret_cast<uint8_t*>(line));
  // 255: the line ended at the end of the file rather than at a line feed, which is fine.
  const bool read_ok = HostError == 0 || HostError == 255;
  FileClose(file);
  if (!read_ok) return false;
  path->assign(line);
  return true;
}

RunReport RunHost(uint64_t max_instructions, double timeout_seconds, FILE* trace,
                  bool watch_unresponsive) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  const auto seconds_since_start = [&start] {
    return std::chrono::duration<double>(Clock::now() - start).count();
  };
  // The watch over a guest that stops pumping: when it last looked, and when the pump count last
  // moved.
  Clock::time_point last_look = start;
  Clock::time_point last_pump_seen = start;
  uint64_t pumps_seen = GuestPumps;
  const auto unresponsive_and_closed = [&]() {
    const Clock::time_point now = Clock::now();
    if (now - last_look < std::chrono::milliseconds(kWatchMilliseconds)) return false;
    last_look = now;
    if (GuestPumps != pumps_seen) {
      pumps_seen = GuestPumps;
      last_pump_seen = now;
    }
    // Asked every few milliseconds even of a guest that pumps: the backend may show the picture
    // again meanwhile.
    const bool close_waiting = PlatformCloseWaiting();
    return close_waiting &&
           now - last_pump_seen >= std::chrono::milliseconds(kUnresponsiveMilliseconds);
  };
  RunReport report = {RunEnd::kQuit, 0, 0.0};
  for (;;) {
    if (Machine.quit != 0) {
      report.end = RunEnd::kQuit;
      break;
    }
    if (Machine.fault != 0) {
      report.end = RunEnd::kFault;
      break;
    }
    if (max_instructions != 0 && report.instructions >= max_instructions) {
      report.end = RunEnd::kLimit;
      break;
    }
    if (RunInterrupted != 0) {
      report.end = RunEnd::kInterrupted;
      break;
    }
    if (timeout_seconds > 0 && seconds_since_start() >= timeout_seconds) {
      report.end = RunEnd::kTimeout;
      break;
    }
    if (RunWatch != nullptr) RunWatch(seconds_since_start());
    if (watch_unresponsive && unresponsive_and_closed()) {
      report.end = RunEnd::kUnresponsive;
      break;
    }
    uint64_t chunk = watch_unresponsive ? kWatchedRunChunk : kRunChunk;
    if (max_instructions != 0 && max_instructions - report.instructions < chunk) {
      chunk = max_instructions - report.instructions;
    }
    if (trace == nullptr) {
      report.instructions += RunEngine(RunEngineKind, chunk);
      continue;
    }
    // The traced loop: one line per instruction, before it runs.
    for (uint64_t i = 0; i < chunk && (Machine.fault | Machine.quit) == 0; ++i) {
      const uint32_t pc = Machine.pc;
      if (pc < kProgramWords) {
        const uint8_t* at = &Machine.program[2 * pc];
        const uint16_t word = uint16_t(at[0] | at[1] << 8);
        const uint16_t next = uint16_t(at[2] | at[3] << 8);
        fprintf(trace, "%06X  %04X  %s\n", pc, word, DisassembleInstruction(word, next).c_str());
      }
      StepInstruction();
      ++report.instructions;
    }
  }
  report.seconds = seconds_since_start();
  return report;
}

const char* FaultMeaning(uint8_t fault) {
  switch (fault) {
    case kFaultEmptyOpcode:
      return "empty opcode table entry";
    case kFaultUndefinedOneOperand:
      return "undefined instruction";
    case kFaultUndefinedLoad:
      return "undefined load instruction";
    case kFaultUndefinedStore:
      return "undefined store instruction";
    case kFaultDataWrite:
      return "data write beyond 0xFFFF";
    case kFaultDataRead:
      return "data read beyond 0xFFFF";
    case kFaultPcOutside:
      return "pc outside program memory";
    case kFaultElpm:
      return "ELPM beyond program memory";
    case kFaultRjmp:
      return "RJMP target outside program memory";
    case kFaultJmp:
      return "JMP target outside program memory";
    case kFaultOperandOutside:
      return "instruction operand outside program memory";
    case kFaultEijmp:
      return "EIJMP target outside program memory";
    case kFaultCall:
      return "CALL target outside program memory";
    case kFaultRcall:
      return "RCALL target outside program memory";
    case kFaultEicall:
      return "EICALL target outside program memory";
    default:
      return "unknown fault";
  }
}

void EndHost() {
  if (PlatformWindowExists()) {
    PlatformDestroyWindow();
  } else {
    CloseAllFileSlots();
    CloseAllSerialSlots();
    DestroyCanvas();
  }
  PendingBootReport.clear();
  BeforeNextService = nullptr;
}

bool IdlePump() {
  const auto pump = [] { return PlatformPumpMessage() != PumpResult::kQuit; };
  const uint32_t t0 = PlatformTickCount();
  uint32_t countdown = 10;
  if (!pump()) return false;
  while (PlatformTickCount() - t0 <= countdown) {
    if (!pump()) return false;
    PlatformSleep(1);
    if (!pump()) return false;
    if (countdown == 0) break;
    --countdown;
  }
  return pump();
}

}  // namespace velmora
