// velmora-run: the headless runner. Loads a HEX program, runs it without a window and reports how
// the run ended, for scripts, tests, benchmarks and CI.
#include <cinttypes>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/machine.h"
#include "graphics/canvas.h"
#include "host/hex_loader.h"
#include "host/run.h"
#include "host/screenshot.h"
#include "io/sandbox.h"
#include "platform/headless/headless.h"

namespace velmora {
namespace {

// Exit statuses.
constexpr int kExitQuit = 0;
constexpr int kExitFault = 1;
constexpr int kExitLoadFailed = 2;
constexpr int kExitLimit = 3;
constexpr int kExitTimeout = 4;
constexpr int kExitUsage = 64;
// Interrupted by a signal: 128 + its number, as shells report it (130 for Ctrl-C).
constexpr int kExitSignalBase = 128;

constexpr const char* kUsage =
    "usage: velmora-run [options] PROGRAM.hex\n"
    "\n"
    "Runs a guest program from an Intel HEX file on the Velmora machine without a window.\n"
    "How the run ended goes to stderr; dumps go to stdout.\n"
    "\n"
    "options (a value may also follow an '=': --seed=7; '--' ends the options):\n"
    "  --max-instructions N   stop after N instructions (exit status 3)\n"
    "  --timeout SECONDS      stop after this much wall time, fractions allowed (exit status 4)\n"
    "  --dump-state           print pc, r0..r31, sreg, sp, rampz, eind, fault and the\n"
    "                         instruction count as 'name value' lines when the run ends\n"
    "  --dump-memory START:LENGTH\n"
    "                         print data memory START..START+LENGTH-1 as 'mem 0xADDR: bytes'\n"
    "                         lines of 16 when the run ends (hex with 0x, or decimal;\n"
    "                         repeatable; the range must lie within 0x0000..0xFFFF)\n"
    "  --trace[=FILE]         write one line per instruction (pc, word, disassembly) to\n"
    "                         stderr or FILE; tracing runs much slower\n"
    "  --seed N               seed the random generator with N (default: from the clock)\n"
    "  --screenshot FILE.png  write the shown part of the current layer as a PNG file when the\n"
    "                         run ends (also after a failed boot or a closed window)\n"
    "  --clock virtual|real   virtual (default): time moves 1 ms per message pump and by every\n"
    "                         sleep, so runs repeat exactly; real: the wall clock\n"
    "  --clock-start MS       the tick count the virtual clock starts from (default 1000000)\n"
    "  --date YYYY-MM-DDTHH:MM:SS[.mmm]\n"
    "                         fix the guest's date and time at the start; it moves with the clock\n"
    "  --click X,Y@MS         a left click (button down, then up) at client position X,Y when\n"
    "                         MS milliseconds of the run have passed; repeatable, like these:\n"
    "  --mouse-down X,Y@MS  --mouse-up X,Y@MS  --mouse-move X,Y@MS  --double-click X,Y@MS\n"
    "  --close MS             a close request (the window's close button) at MS\n"
    "  --script FILE          scripted input, one action a line: click|down|up|move|double X,Y@MS\n"
    "                         or close@MS; '#' starts a comment line\n"
    "  --sandbox DIR          confine the guest's files to DIR (paths, links and '..' cannot\n"
    "                         leave it); ports do not open and programs are not launched\n"
    "  --sandbox-quota BYTES  in the sandbox, fail writes that would add more than BYTES to\n"
    "                         files, as on a full disk (status 8)\n"
    "  --layer-memory BYTES   the most memory all layers together may hold (default 1 GiB;\n"
    "                         at least 115200, the first screen)\n"
    "  --quiet                leave out the boot report and the end report on stderr\n"
    "  --help, -h             show this text\n"
    "\n"
    "exit statuses:\n"
    "  0   the guest ended through the quit message (window closed or destroyed)\n"
    "  1   the machine stopped on a fault\n"
    "  2   the program did not load, or its first instruction is bad\n"
    "  3   --max-instructions reached\n"
    "  4   --timeout reached\n"
    "  64  bad command line\n"
    "  130 interrupted (Ctrl-C; 143 for SIGTERM, 129 for SIGHUP): the run ends as after a\n"
    "      limit, with dumps\n"
    "\n"
    "environment:\n"
    "  VELMORA_COM<n>         the device of the guest's serial port n (default /dev/ttyS<n-1>;\n"
    "                         'loopback': a stand-in that returns what was written)\n"
    "  VELMORA_SANDBOX, VELMORA_SANDBOX_QUOTA\n"
    "                         as --sandbox and --sandbox-quota (the options take precedence)\n";

struct MemoryRange {
  uint32_t start;
  uint32_t length;
};

struct RunOptions {
  const char* program = nullptr;
  uint64_t max_instructions = 0;
  double timeout_seconds = 0;
  bool dump_state = false;
  std::vector<MemoryRange> dumps;
  bool trace = false;
  std::string trace_path;  // empty: stderr
  bool seed_given = false;
  uint32_t seed = 0;
  bool quiet = false;
  std::string screenshot_path;  // empty: none
  bool quota_given = false;
  HeadlessClockMode clock = HeadlessClockMode::kVirtual;
  uint32_t clock_start = kDefaultVirtualClockStart;
  bool date_given = false;
  PlatformDateTime date = {};
};

RunOptions Options;

// A path given on the command line, made absolute: the boot changes the working directory to the
// program's directory, and files the user names must still land where the user meant.
std::string StartDirectoryPath(const char* path) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  return error ? std::string(path) : absolute.string();
}

// Decimal, or hexadecimal after 0x: a leading zero does not make a number octal, and nothing but
// digits is accepted (no sign, no spaces).
bool ParseUnsigned(std::string_view text, uint64_t* value) {
  uint64_t base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty()) return false;
  uint64_t parsed = 0;
  for (const char c : text) {
    uint64_t digit = 16;
    if (c >= '0' && c <= '9') digit = uint64_t(c - '0');
    if (c >= 'a' && c <= 'f') digit = uint64_t(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') digit = uint64_t(c - 'A' + 10);
    if (digit >= base || parsed > (UINT64_MAX - digit) / base) return false;
    parsed = parsed * base + digit;
  }
  *value = parsed;
  return true;
}

bool ParseSeconds(std::string_view text, double* value) {
  std::string copy(text);
  char* end = nullptr;
  const double parsed = strtod(copy.c_str(), &end);
  if (copy.empty() || *end != '\0' || !(parsed > 0) || parsed > 1e9) return false;
  *value = parsed;
  return true;
}

bool ParseMemoryRange(std::string_view text, MemoryRange* range) {
  const size_t colon = text.find(':');
  uint64_t start = 0;
  uint64_t length = 0;
  if (colon == std::string_view::npos || !ParseUnsigned(text.substr(0, colon), &start) ||
      !ParseUnsigned(text.substr(colon + 1), &length)) {
    return false;
  }
  if (start >= kGuestDataSize || length > kGuestDataSize - start) return false;
  *range = {uint32_t(start), uint32_t(length)};
  return true;
}

int UsageError(const char* message, std::string_view detail) {
  fprintf(stderr, "velmora-run: %s%.*s\n", message, int(detail.size()), detail.data());
  fprintf(stderr, "try 'velmora-run --help'\n");
  return kExitUsage;
}

// Scripted input and the headless clock: options that take a value.
bool IsHeadlessOption(std::string_view name) {
  for (std::string_view option :
       {"--click", "--mouse-down", "--mouse-up", "--mouse-move", "--double-click", "--close",
        "--script", "--clock", "--clock-start", "--date"}) {
    if (name == option) return true;
  }
  return false;
}

// Returns false when `name` is not a headless option, else sets `error` (nullptr when the value
// was fine).
bool ParseHeadlessOption(std::string_view name, std::string_view value, const char** error) {
  static constexpr std::pair<std::string_view, std::string_view> kInputOptions[] = {
      {"--click", "click "},     {"--mouse-down", "down "},     {"--mouse-up", "up "},
      {"--mouse-move", "move "}, {"--double-click", "double "},
  };
  *error = nullptr;
  for (const auto& [option, verb] : kInputOptions) {
    if (name != option) continue;
    ScriptedInput input;
    if (!ParseScriptedInput(std::string(verb) + std::string(value), &input)) {
      *error = "scripted mouse input needs X,Y@MS (X and Y from -32768 to 32767): ";
    } else {
      HeadlessSchedule(input);
    }
    return true;
  }
  if (name == "--close") {
    ScriptedInput input;
    if (!ParseScriptedInput("close@" + std::string(value), &input)) {
      *error = "--close needs the milliseconds of the run after which it comes: ";
    } else {
      HeadlessSchedule(input);
    }
  } else if (name == "--script") {
    // The script's own messages name the file and line; UsageError adds nothing after them.
    static std::string failure;
    if (!HeadlessLoadScript(std::string(value).c_str(), &failure)) *error = failure.c_str();
  } else if (name == "--clock") {
    if (value == "virtual") {
      Options.clock = HeadlessClockMode::kVirtual;
    } else if (value == "real") {
      Options.clock = HeadlessClockMode::kReal;
    } else {
      *error = "--clock needs virtual or real: ";
    }
  } else if (name == "--clock-start") {
    uint64_t start = 0;
    if (!ParseUnsigned(value, &start) || start > 0xFFFFFFFFu) {
      *error = "--clock-start needs a tick count from 0 to 4294967295: ";
    }
    Options.clock_start = uint32_t(start);
  } else if (name == "--date") {
    Options.date_given = ParseDateTime(value, &Options.date);
    if (!Options.date_given) *error = "--date needs YYYY-MM-DDTHH:MM:SS[.mmm] (1970-9999): ";
  } else {
    return false;
  }
  return true;
}

// The headless clock as the options ask, started now.
void ApplyHeadlessOptions() {
  HeadlessSetClockStart(Options.clock_start);
  HeadlessSetClockMode(Options.clock);
  if (Options.date_given) HeadlessSetDateTime(Options.date);
}

// The layer memory the first screen (240 × 120) needs.
constexpr uint64_t kFirstScreenBytes = uint64_t(kDefaultScreenWidth) * kDefaultScreenHeight * 4;

// Parses the command line into Options (the environment's sandbox first, so that the options
// take precedence); returns -1 to go on, else the exit status.
int ParseCommandLine(int argc, char** argv) {
  std::string environment_error;
  if (!ReadSandboxEnvironment(&environment_error)) return UsageError(environment_error.c_str(), "");
  if (!RequestedSandbox.directory.empty()) {
    RequestedSandbox.directory = StartDirectoryPath(RequestedSandbox.directory.c_str());
  }
  bool options_ended = false;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (arg == "--" && !options_ended) {
      options_ended = true;
      continue;
    }
    if (options_ended) {
      if (Options.program != nullptr) return UsageError("more than one program: ", arg);
      Options.program = argv[i];
      continue;
    }
    if (arg.size() < 2 || arg.substr(0, 2) != "--") {
      if (arg.size() > 1 && arg[0] == '-' && arg != "-h") return UsageError("unknown option ", arg);
      if (arg == "-h") {
        fputs(kUsage, stdout);
        return 0;
      }
      if (Options.program != nullptr) return UsageError("more than one program: ", arg);
      Options.program = argv[i];
      continue;
    }
    std::string_view name = arg;
    std::string_view inline_value;
    bool has_inline_value = false;
    if (const size_t eq = arg.find('='); eq != std::string_view::npos) {
      name = arg.substr(0, eq);
      inline_value = arg.substr(eq + 1);
      has_inline_value = true;
    }
    // The value of an option that takes one: after '=' or as the next argument.
    std::string_view value;
    const auto take_value = [&]() -> bool {
      if (has_inline_value) {
        value = inline_value;
        return true;
      }
      if (i + 1 >= argc) return false;
      value = argv[++i];
      return true;
    };
    const auto no_value = [&]() { return !has_inline_value; };

    if (name == "--help") {
      fputs(kUsage, stdout);
      return 0;
    } else if (name == "--max-instructions") {
      if (!take_value() || !ParseUnsigned(value, &Options.max_instructions) ||
          Options.max_instructions == 0) {
        return UsageError("--max-instructions needs a count of 1 or more", "");
      }
    } else if (name == "--timeout") {
      if (!take_value() || !ParseSeconds(value, &Options.timeout_seconds)) {
        return UsageError("--timeout needs a number of seconds above 0", "");
      }
    } else if (name == "--dump-state") {
      if (!no_value()) return UsageError("--dump-state takes no value", "");
      Options.dump_state = true;
    } else if (name == "--dump-memory") {
      MemoryRange range;
      if (!take_value() || !ParseMemoryRange(value, &range)) {
        return UsageError("--dump-memory needs START:LENGTH within 0x0000..0xFFFF: ", value);
      }
      Options.dumps.push_back(range);
    } else if (name == "--trace") {
      Options.trace = true;
      if (has_inline_value) {
        if (inline_value.empty()) return UsageError("--trace= needs a file name", "");
        Options.trace_path = StartDirectoryPath(std::string(inline_value).c_str());
      }
    } else if (name == "--seed") {
      uint64_t seed = 0;
      if (!take_value() || !ParseUnsigned(value, &seed) || seed > 0xFFFFFFFFu) {
        return UsageError("--seed needs a number from 0 to 4294967295", "");
      }
      Options.seed = uint32_t(seed);
      Options.seed_given = true;
    } else if (name == "--quiet") {
      if (!no_value()) return UsageError("--quiet takes no value", "");
      Options.quiet = true;
    } else if (name == "--screenshot") {
      if (!take_value() || value.empty()) return UsageError("--screenshot needs a file name", "");
      Options.screenshot_path = StartDirectoryPath(std::string(value).c_str());
    } else if (name == "--sandbox") {
      std::error_code error;
      if (!take_value() || value.empty() ||
          !std::filesystem::is_directory(std::string(value), error)) {
        return UsageError("--sandbox needs an existing directory: ", value);
      }
      RequestedSandbox.directory = StartDirectoryPath(std::string(value).c_str());
    } else if (name == "--sandbox-quota") {
      if (!take_value() || !ParseUnsigned(value, &RequestedSandbox.quota) ||
          RequestedSandbox.quota == 0) {
        return UsageError("--sandbox-quota needs a number of bytes of 1 or more", "");
      }
      Options.quota_given = true;
    } else if (name == "--layer-memory") {
      uint64_t bytes = 0;
      if (!take_value() || !ParseUnsigned(value, &bytes) || bytes < kFirstScreenBytes) {
        return UsageError("--layer-memory needs a number of bytes of 115200 or more", "");
      }
      LayerMemoryBudget = bytes;
    } else if (IsHeadlessOption(name)) {
      const char* error = nullptr;
      if (!take_value()) return UsageError("missing value for ", name);
      ParseHeadlessOption(name, value, &error);
      if (error != nullptr) return UsageError(error, name == "--script" ? "" : value);
    } else {
      // A new option: an 'else if' above, file names through StartDirectoryPath, and a line in
      // kUsage and docs/runner.md.
      return UsageError("unknown option ", name);
    }
  }
  if (Options.program == nullptr) return UsageError("no program given", "");
  if (Options.quota_given && RequestedSandbox.directory.empty()) {
    return UsageError("--sandbox-quota needs a sandbox (--sandbox DIR)", "");
  }
  return -1;
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

// What the boot report's code means, for the user at the terminal.
void ExplainBootFailure(BootOutcome boot) {
  const char* program = Options.program;
  if (boot == BootOutcome::kNoSandbox) {
    fprintf(stderr, "velmora-run: the sandbox %s cannot be used; the program did not run\n",
            RequestedSandbox.directory.c_str());
    return;
  }
  if (boot == BootOutcome::kBadInstruction) {
    fprintf(stderr,
            "velmora-run: %s: the byte at address 0 is 0x%02X, outside 0x0C..0xFC "
            "(avr-gcc programs start with a JMP, 0x0C)\n",
            program, Machine.program[0]);
    return;
  }
  const char* meaning = "";
  switch (BootLoadCode) {
    case kHexBadDigit:
      meaning = "a character that is no hexadecimal digit";
      break;
    case kHexBadChecksum:
      meaning = "wrong checksum";
      break;
    case kHexBadRecordType:
      meaning =
          "a record type other than 00, 01, 02 and 04; avr-objcopy writes type 03 or 05 for a "
          "program whose entry point is not address 0";
      break;
    case kHexBadLine:
      meaning =
          "not a record: no colon, an empty line, more than 298 bytes, or shorter than its byte "
          "count says";
      break;
    case kHexCannotOpen:
      meaning = "the file cannot be opened";
      break;
    case kHexTruncated:
      meaning = "the file ends before an end-of-file record followed by a line feed";
      break;
    case kHexTooBig:
      meaning = "data at 0x41000 or beyond: programs hold at most 256 KiB";
      break;
  }
  if (BootLoadCode == kHexCannotOpen) {
    fprintf(stderr, "velmora-run: %s: %s (code %u)\n", program, meaning, BootLoadCode);
  } else {
    fprintf(stderr, "velmora-run: %s line %u: %s (code %u)\n", program, HexLineNumber, meaning,
            BootLoadCode);
  }
}

void PrintEndReport(const RunReport& report) {
  char where[64];
  snprintf(where, sizeof where, "pc 0x%06" PRIX32 " (byte address 0x%06" PRIX32 ")", Machine.pc,
           Machine.pc * 2);
  switch (report.end) {
    case RunEnd::kQuit:
      fprintf(stderr, "velmora-run: the guest ended (quit message) at %s\n", where);
      break;
    case RunEnd::kFault:
      fprintf(stderr, "velmora-run: fault %u (%s) at %s\n", Machine.fault,
              FaultMeaning(Machine.fault), where);
      break;
    case RunEnd::kLimit:
      fprintf(stderr, "velmora-run: instruction limit reached at %s\n", where);
      break;
    case RunEnd::kTimeout:
      fprintf(stderr, "velmora-run: timeout after %g s at %s\n", Options.timeout_seconds, where);
      break;
    case RunEnd::kInterrupted:
      fprintf(stderr, "velmora-run: interrupted (signal %d) at %s\n", int(RunInterrupted), where);
      break;
  }
  const double mips = report.seconds > 0 ? double(report.instructions) / report.seconds / 1e6 : 0;
  fprintf(stderr, "velmora-run: %" PRIu64 " instructions in %.3f s (%.1f MIPS)\n",
          report.instructions, report.seconds, mips);
}

void DumpState(uint64_t instructions) {
  printf("pc 0x%06" PRIX32 "\n", Machine.pc);
  for (int r = 0; r < 32; ++r) printf("r%d 0x%02X\n", r, Machine.data[r]);
  printf("sreg 0x%02X\n", ComposeSreg());
  printf("sp 0x%04X\n", StackPointer());
  printf("rampz 0x%02X\n", Machine.data[kRampzAddress]);
  printf("eind 0x%02X\n", Machine.data[kEindAddress]);
  printf("fault %u\n", Machine.fault);
  printf("instructions %" PRIu64 "\n", instructions);
}

void DumpMemory(const MemoryRange& range) {
  const uint32_t end = range.start + range.length;
  for (uint32_t line = range.start; line < end; line += 16) {
    printf("mem 0x%04" PRIX32 ":", line);
    for (uint32_t a = line; a < end && a < line + 16; ++a) {
      // SREG lives in the flags; the guest reads it composed.
      printf(" %02X", a == kSregAddress ? ComposeSreg() : Machine.data[a]);
    }
    printf("\n");
  }
}

extern "C" void StopOnSignal(int signal_number) {
  RunInterrupted = signal_number;
  std::signal(signal_number, SIG_DFL);
}

int RunMain(int argc, char** argv) {
  if (const int status = ParseCommandLine(argc, argv); status >= 0) return status;

  FILE* trace = nullptr;
  if (Options.trace) {
    trace = stderr;
    // A line per instruction: an unbuffered stderr would make a system call of each.
    if (Options.trace_path.empty()) setvbuf(stderr, nullptr, _IOFBF, 1 << 16);
    if (!Options.trace_path.empty()) {
      trace = fopen(Options.trace_path.c_str(), "w");
      if (trace == nullptr) {
        fprintf(stderr, "velmora-run: cannot write the trace to %s\n", Options.trace_path.c_str());
        return kExitUsage;
      }
    }
  }

  // A first Ctrl-C ends the run cleanly, with the end report and dumps; a second one kills.
  std::signal(SIGINT, StopOnSignal);
  std::signal(SIGTERM, StopOnSignal);
  std::signal(SIGHUP, StopOnSignal);  // the terminal went away
  EchoBootReport = !Options.quiet;
  const uint32_t seed = Options.seed_given ? Options.seed : StartSeed();
  if (!Options.screenshot_path.empty()) ArmScreenshot();
  const BootOutcome boot = StartHost(Options.program, seed);
  // Scripted times count from the moment the guest starts.
  ApplyHeadlessOptions();

  int status = kExitLoadFailed;
  RunReport report = {RunEnd::kQuit, 0, 0.0};
  if (boot == BootOutcome::kReady) {
    report = RunHost(Options.max_instructions, Options.timeout_seconds, trace);
    switch (report.end) {
      case RunEnd::kQuit:
        status = kExitQuit;
        break;
      case RunEnd::kFault:
        status = kExitFault;
        break;
      case RunEnd::kLimit:
        status = kExitLimit;
        break;
      case RunEnd::kTimeout:
        status = kExitTimeout;
        break;
      case RunEnd::kInterrupted:
        status = kExitSignalBase + int(RunInterrupted);
        break;
    }
    if (!Options.quiet) PrintEndReport(report);
  } else if (!Options.quiet) {
    ExplainBootFailure(boot);
  }
  // Work on the finished run that needs the canvas (screenshots) goes here, before EndHost.
  if (!Options.screenshot_path.empty()) SaveScreenshot(Options.screenshot_path.c_str());
  EndHost();

  if (Options.dump_state) DumpState(report.instructions);
  for (const MemoryRange& range : Options.dumps) DumpMemory(range);
  fflush(stdout);
  if (trace != nullptr && trace != stderr) fclose(trace);
  return status;
}

}  // namespace
}  // namespace velmora

int main(int argc, char** argv) {
  return velmora::RunMain(argc, argv);
}
