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
#include "host/gdb_stub.h"
#include "host/hex_loader.h"
#include "host/host_services.h"
#include "host/listing.h"
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
// The run ended, but --screenshot could not be written (whatever ended the run).
constexpr int kExitScreenshotFailed = 5;
// The debugger (--gdb) killed the run, or its connection was lost.
constexpr int kExitKilled = 6;
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
    "  --trace-services[=FILE]\n"
    "                         write one line per service call (pc, group.function, name,\n"
    "                         status byte after the call) to stderr or FILE\n"
    "  --seed N               seed the random generator with N (default: from the clock)\n"
    "  --screenshot FILE.png|FILE.bmp\n"
    "                         write the shown part of the current layer as a PNG or BMP file\n"
    "                         when the run ends (also after a failed boot or a closed window);\n"
    "                         the file must be writable before the run starts\n"
    "  --clock virtual|real   virtual (default): time moves 1 ms per message pump and by every\n"
    "                         sleep, so runs repeat exactly; real: the wall clock\n"
    "  --clock-start MS       the tick count the virtual clock starts from (default 1000000)\n"
    "  --date YYYY-MM-DDTHH:MM:SS[.mmm]\n"
    "                         fix the guest's date and time at the start; it moves with the clock\n"
    "  --click X,Y@MS         a left click (button down, then up) at client position X,Y when\n"
    "                         MS milliseconds of the run have passed; repeatable, like these:\n"
    "  --mouse-down X,Y@MS  --mouse-up X,Y@MS  --mouse-move X,Y@MS  --double-click X,Y@MS\n"
    "  --close MS             a close request (the window's close button) at MS\n"
    "  --key-down KEY@MS  --key-up KEY@MS\n"
    "                         a key goes down or up at MS; KEY is a virtual-key code (65 or\n"
    "                         0x41 is A), a letter, or a name such as enter, esc, space, left,\n"
    "                         shift, ctrl, alt, f1\n"
    "  --key KEY@MS           a key press: down at MS, up 20 ms later\n"
    "  --type TEXT@MS         types TEXT on a US keyboard from MS on, a key every 40 ms\n"
    "  --held KEY             the key is down before the program starts (repeatable)\n"
    "  --toggled KEY          the key is toggled on before the program starts (Caps Lock...)\n"
    "  --deactivate MS  --activate MS\n"
    "                         another window becomes active at MS, or this one again\n"
    "  --answer ok|cancel|yes|no|none\n"
    "                         the answer to the next message box (repeatable, in order); a box\n"
    "                         without a scripted answer is answered with its first button\n"
    "  --script FILE          scripted input, one action a line: click|down|up|move|double "
    "X,Y@MS,\n"
    "                         close@MS, keydown|keyup|key KEY@MS, type TEXT@MS, activate@MS,\n"
    "                         deactivate@MS, answer WORD, held KEY, toggled KEY; '#' starts a\n"
    "                         comment line\n"
    "  --screen WxH           the size of the virtual primary screen (default 1920x1080)\n"
    "  --host-log FILE        record what the guest did to its host, one line each: title,\n"
    "                         window state and place, message boxes, beeps, launches, keys\n"
    "  --dump-window          print the window's state (place, size, flags, cursor) at the end\n"
    "  --gdb PORT             wait for avr-gdb on 127.0.0.1:PORT (0: a free port, told on\n"
    "                         stderr) and run the guest as the debugger says\n"
    "  --disassemble          list the program instead of running it: byte addresses, words,\n"
    "                         mnemonics, the symbols of PROGRAM.elf when it lies beside the\n"
    "                         HEX file, and the service each BREAK calls\n"
    "  --engine jit|fast|reference\n"
    "                         the processor engine: jit (default; x86-64 translation, the fast\n"
    "                         engine on other hosts), fast (a threaded interpreter), or the\n"
    "                         reference core that defines the machine; all give the same results\n"
    "                         (--trace and an attached debugger always run on the reference)\n"
    "  --quiet                leave out the boot report, the end report and the hints on\n"
    "                         stderr (errors are always written)\n"
    "  --version              show the version and the execution engine\n"
    "  --sandbox DIR          confine the guest's files to DIR (paths, links and '..' cannot\n"
    "                         leave it); ports do not open and programs are not launched\n"
    "  --sandbox-quota BYTES  in the sandbox, fail writes that would add more than BYTES to\n"
    "                         files, as on a full disk (status 8)\n"
    "  --layer-memory BYTES   the most memory all layers together may hold (default 1 GiB;\n"
    "                         at least 115200, the first screen)\n"
    "  --help, -h             show this text\n"
    "\n"
    "exit statuses:\n"
    "  0   the guest ended through the quit message (window closed or destroyed)\n"
    "  1   the machine stopped on a fault\n"
    "  2   the program did not load, or its first instruction is bad\n"
    "  3   --max-instructions reached\n"
    "  4   --timeout reached\n"
    "  5   the run ended, but the screenshot could not be written\n"
    "  6   the debugger killed the run, or its connection was lost\n"
    "  64  bad command line\n"
    "  130 interrupted (Ctrl-C; 143 for SIGTERM, 129 for SIGHUP): the run ends as after a\n"
    "      limit, with dumps\n"
    "\n"
    "A run without --max-instructions or --timeout tells on stderr, once, when its program has\n"
    "waited for input or computed without pumping messages for a few seconds.\n"
    "\n"
    "environment:\n"
    "  VELMORA_ENGINE         the engine when --engine is not given: jit, fast or reference\n"
    "  VELMORA_COM<n>         the device of the guest's serial port n (default /dev/ttyS<n-1>;\n"
    "                         'loopback': a stand-in that returns what was written)\n"
    "  VELMORA_HINT_SECONDS   seconds before those hints (default 3; 0: no hints)\n"
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
  bool trace_services = false;
  std::string trace_services_path;  // empty: stderr
  bool seed_given = false;
  uint32_t seed = 0;
  bool quiet = false;
  bool debugger = false;
  bool disassemble = false;
  uint16_t debugger_port = 0;
  bool engine_given = false;
  EngineKind engine = EngineKind::kJit;
  std::string screenshot_path;  // empty: none
  bool quota_given = false;
  HeadlessClockMode clock = HeadlessClockMode::kVirtual;
  uint32_t clock_start = kDefaultVirtualClockStart;
  bool date_given = false;
  PlatformDateTime date = {};
  std::string host_log_path;  // empty: none
  bool dump_window = false;
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
       {"--click",    "--mouse-down", "--mouse-up",   "--mouse-move",  "--double-click",
        "--close",    "--script",     "--clock",      "--clock-start", "--date",
        "--key-down", "--key-up",     "--key",        "--type",        "--held",
        "--toggled",  "--activate",   "--deactivate", "--answer",      "--screen"}) {
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
  // Options that are one script line each.
  static constexpr std::pair<std::string_view, std::string_view> kScriptOptions[] = {
      {"--key-down", "keydown "}, {"--key-up", "keyup "},      {"--key", "key "},
      {"--type", "type "},        {"--held", "held "},         {"--toggled", "toggled "},
      {"--answer", "answer "},    {"--activate", "activate@"}, {"--deactivate", "deactivate@"},
  };
  for (const auto& [option, line] : kScriptOptions) {
    if (name != option) continue;
    if (!HeadlessScriptLine(std::string(line) + std::string(value))) {
      *error = option == "--answer" ? "--answer needs ok, cancel, yes, no or none: "
               : option == "--type"
                   ? "--type needs TEXT@MS (letters, digits, space, US punctuation): "
               : option == "--activate" || option == "--deactivate"
                   ? "the option needs the milliseconds of the run after which it comes: "
                   : "a key option needs KEY@MS (KEY a code 0-255, a letter or a key name): ";
    }
    return true;
  }
  if (name == "--screen") {
    const size_t x = value.find('x');
    uint64_t width = 0, height = 0;
    if (x == std::string_view::npos || !ParseUnsigned(value.substr(0, x), &width) ||
        !ParseUnsigned(value.substr(x + 1), &height) || width < 1 || height < 1 || width > 32767 ||
        height > 32767) {
      *error = "--screen needs WIDTHxHEIGHT, each 1 to 32767: ";
    } else {
      HeadlessSetScreenSize(int32_t(width), int32_t(height));
    }
  } else if (name == "--close") {
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
  const char* engine_variable = std::getenv(kEngineVariable);
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
    } else if (name == "--trace-services") {
      Options.trace_services = true;
      if (has_inline_value) {
        if (inline_value.empty()) return UsageError("--trace-services= needs a file name", "");
        Options.trace_services_path = StartDirectoryPath(std::string(inline_value).c_str());
      }
    } else if (name == "--seed") {
      uint64_t seed = 0;
      if (!take_value() || !ParseUnsigned(value, &seed) || seed > 0xFFFFFFFFu) {
        return UsageError("--seed needs a number from 0 to 4294967295", "");
      }
      Options.seed = uint32_t(seed);
      Options.seed_given = true;
    } else if (name == "--engine") {
      if (!take_value() || !EngineFromName(value, &Options.engine)) {
        return UsageError("--engine needs jit, fast or reference: ", value);
      }
      Options.engine_given = true;
    } else if (name == "--quiet") {
      if (!no_value()) return UsageError("--quiet takes no value", "");
      Options.quiet = true;
    } else if (name == "--disassemble") {
      if (!no_value()) return UsageError("--disassemble takes no value", "");
      Options.disassemble = true;
    } else if (name == "--gdb") {
      uint64_t port = 0;
      if (!take_value() || !ParseUnsigned(value, &port) || port > 65535) {
        return UsageError("--gdb needs a port from 1 to 65535, or 0 for a free one", "");
      }
      Options.debugger = true;
      Options.debugger_port = uint16_t(port);
    } else if (name == "--host-log") {
      if (!take_value() || value.empty()) return UsageError("--host-log needs a file name", "");
      Options.host_log_path = StartDirectoryPath(std::string(value).c_str());
    } else if (name == "--dump-window") {
      if (!no_value()) return UsageError("--dump-window takes no value", "");
      Options.dump_window = true;
    } else if (name == "--screenshot") {
      if (!take_value() || value.empty()) return UsageError("--screenshot needs a file name", "");
      ScreenshotFormat format;
      if (!ScreenshotFormatOf(std::string(value), &format)) {
        return UsageError("--screenshot writes PNG or BMP: the name must end in .png or .bmp: ",
                          value);
      }
      Options.screenshot_path = StartDirectoryPath(std::string(value).c_str());
    } else if (name == "--version") {
      if (!no_value()) return UsageError("--version takes no value", "");
      // The engine the run would use: --engine, else VELMORA_ENGINE, else the JIT.
      EngineKind engine = Options.engine;
      if (!Options.engine_given && engine_variable != nullptr) {
        EngineFromName(engine_variable, &engine);
      }
      // A JIT that cannot run here runs the fast engine, and says so.
      const bool falls_back = engine == EngineKind::kJit && !JitAvailable();
      printf("velmora-run %s, engine %s\n", VELMORA_VERSION,
             falls_back ? "fast (the JIT cannot run on this host)" : EngineName(engine));
      return 0;
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
  if (Options.debugger && Options.trace)
    return UsageError("--trace and --gdb exclude each other", "");
  if (!Options.engine_given && engine_variable != nullptr &&
      !EngineFromName(engine_variable, &Options.engine)) {
    return UsageError("VELMORA_ENGINE needs jit, fast or reference: ", engine_variable);
  }
  if (Options.quota_given && RequestedSandbox.directory.empty()) {
    return UsageError("--sandbox-quota needs a sandbox (--sandbox DIR)", "");
  }
  return -1;
}

// avr-gcc's ELF files keep the sections that are no part of the program at these addresses;
// avr-objcopy copies them into the HEX file unless told to leave them out.
struct ForeignSection {
  uint64_t start;
  const char* name;
};
constexpr ForeignSection kForeignSections[] = {
    {0x810000, ".eeprom"},    {0x820000, ".fuse"}, {0x830000, ".lock"},
    {0x840000, ".signature"}, {0x850000, ""},
};

// Code 12 names the byte that did not fit, and for a section that is not program memory at all,
// which one it is and how to leave it out.
std::string TooBigMeaning(uint64_t address) {
  char where[24];
  snprintf(where, sizeof where, "0x%" PRIX64, address);
  for (size_t i = 0; i + 1 < std::size(kForeignSections); ++i) {
    if (address >= kForeignSections[i].start && address < kForeignSections[i + 1].start) {
      return std::string("data at ") + where + ", where avr-gcc puts the " +
             kForeignSections[i].name +
             " section: the .eeprom, .fuse, .lock and .signature sections are not program "
             "memory; leave them out with avr-objcopy -O ihex -R .eeprom -R .fuse -R .lock "
             "-R .signature";
    }
  }
  return std::string("data at ") + where +
         ", beyond program memory (0x0..0x40FFF): programs hold at most 256 KiB";
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
  std::string too_big;
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
      too_big = TooBigMeaning(HexRefusedAddress);
      meaning = too_big.c_str();
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
    case RunEnd::kUnresponsive:
      fprintf(stderr, "velmora-run: closed while the guest did not pump, at %s\n", where);
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
    case RunEnd::kKilled:
      fprintf(stderr, "velmora-run: ended by the debugger at %s\n", where);
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

// stderr for an empty path, else the file, made anew.
bool OpenTrace(const std::string& path, const char* what, FILE** file) {
  *file = path.empty() ? stderr : fopen(path.c_str(), "w");
  if (*file != nullptr) return true;
  fprintf(stderr, "velmora-run: cannot write the %s to %s\n", what, path.c_str());
  return false;
}

// Hints for a run that goes on and on: once the program has waited for input, or computed
// without pumping messages, for a few seconds of wall time, stderr says so and what to do.
constexpr double kDefaultHintSeconds = 3;

struct HintWatch {
  double delay;
  uint64_t pumps_seen;
  double last_pump;  // seconds into the run when a pump was last seen
  bool waiting_told;
  bool busy_told;
};
HintWatch Hints;

void WatchForHints(double seconds) {
  const HeadlessWindowInfo window = HeadlessWindow();
  if (window.pumps != Hints.pumps_seen) {
    Hints.pumps_seen = window.pumps;
    Hints.last_pump = seconds;
  }
  if (seconds - Hints.last_pump >= Hints.delay) {
    if (!Hints.busy_told) {
      fprintf(stderr,
              "velmora-run: the program has not pumped messages (WDR or yield) for %g s: it is "
              "computing or stuck; Ctrl-C ends the run with the end report and the dumps asked "
              "for\n",
              Hints.delay);
      Hints.busy_told = true;
    }
    return;
  }
  // Pumping all along with no scripted input left to come: the program waits for a user.
  if (!Hints.waiting_told && seconds >= Hints.delay && window.scheduled == 0) {
    fprintf(stderr,
            "velmora-run: the program is waiting for input (it keeps pumping messages, and no "
            "scripted input is left): give it some with --click X,Y@MS or --script FILE, close "
            "it with --close MS, or bound the run with --timeout SECONDS\n");
    Hints.waiting_told = true;
  }
}

// The delay comes from VELMORA_HINT_SECONDS when it holds a number (0 turns the hints off).
void StartHints() {
  Hints = {kDefaultHintSeconds, 0, 0.0, false, false};
  if (const char* text = getenv("VELMORA_HINT_SECONDS"); text != nullptr) {
    if (std::string_view(text) == "0") return;
    ParseSeconds(text, &Hints.delay);
  }
  Hints.pumps_seen = HeadlessWindow().pumps;
  RunWatch = WatchForHints;
}

// --disassemble: the listing on stdout, with the symbols of the ELF file beside the HEX file.
int ListProgram() {
  const uint8_t code = LoadHexProgram(Options.program);
  if (code != kHexLoaded) {
    BootLoadCode = code;
    ExplainBootFailure(BootOutcome::kLoadFailed);
    return kExitLoadFailed;
  }
  InstallAllServices();
  std::filesystem::path elf(Options.program);
  elf.replace_extension(".elf");
  std::error_code error;
  const bool have_elf = std::filesystem::is_regular_file(elf, error);
  WriteListing(stdout, have_elf ? elf.string().c_str() : nullptr);
  fflush(stdout);
  return kExitQuit;
}

void DumpWindow(const HeadlessWindowInfo& w) {
  printf("window_exists %d\nwindow_visible %d\nwindow_minimized %d\nwindow_active %d\n", w.exists,
         w.visible, w.minimized, w.active);
  printf("window_topmost %d\nwindow_bottom %d\n", w.topmost, w.at_bottom);
  printf("window_x %d\nwindow_y %d\nwindow_width %d\nwindow_height %d\n", w.x, w.y, w.width,
         w.height);
  printf("client_width %d\nclient_height %d\n", w.client_width, w.client_height);
  printf("screen_width %d\nscreen_height %d\n", w.screen_width, w.screen_height);
  printf("cursor_x %d\ncursor_y %d\ncursor_count %d\n", w.cursor_x, w.cursor_y, w.cursor_count);
  printf("flashes %u\n", w.flashes);
  // The title as UTF-8 to the end of the line; line breaks in it shown as spaces.
  std::string title = w.title;
  for (char& c : title) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  printf("window_title %s\n", title.c_str());
}

extern "C" void StopOnSignal(int signal_number) {
  RunInterrupted = signal_number;
  std::signal(signal_number, SIG_DFL);
}

int RunMain(int argc, char** argv) {
  if (const int status = ParseCommandLine(argc, argv); status >= 0) return status;
  if (Options.disassemble) return ListProgram();

  // A screenshot that cannot be written is found out now rather than after a long run.
  if (std::string reason;
      !Options.screenshot_path.empty() && !ScreenshotWritable(Options.screenshot_path, &reason)) {
    fprintf(stderr, "velmora-run: cannot write the screenshot to %s: %s\n",
            Options.screenshot_path.c_str(), reason.c_str());
    return kExitUsage;
  }

  // A line per instruction or service call: an unbuffered stderr would make a system call of
  // each.
  if ((Options.trace && Options.trace_path.empty()) ||
      (Options.trace_services && Options.trace_services_path.empty())) {
    setvbuf(stderr, nullptr, _IOFBF, 1 << 16);
  }
  FILE* trace = nullptr;
  if (Options.trace && !OpenTrace(Options.trace_path, "trace", &trace)) return kExitUsage;
  FILE* service_trace = nullptr;
  if (Options.trace_services &&
      !OpenTrace(Options.trace_services_path, "service trace", &service_trace)) {
    return kExitUsage;
  }
  TraceServicesTo(service_trace);

  // A first Ctrl-C ends the run cleanly, with the end report and dumps; a second one kills.
  PlatformCatchEndSignals(StopOnSignal);
  DebuggerProgramName = "velmora-run";
  if (Options.debugger && !ListenForDebugger(Options.debugger_port)) return kExitUsage;
  EchoBootReport = !Options.quiet;
  RunEngineKind = Options.engine;
  FILE* host_log = nullptr;
  if (!Options.host_log_path.empty()) {
    host_log = fopen(Options.host_log_path.c_str(), "w");
    if (host_log == nullptr) {
      fprintf(stderr, "velmora-run: cannot write the host log to %s\n",
              Options.host_log_path.c_str());
      return kExitUsage;
    }
    HeadlessSetHostLog(host_log);
  }
  const uint32_t seed = Options.seed_given ? Options.seed : StartSeed();
  if (!Options.screenshot_path.empty()) ArmScreenshot();
  const BootOutcome boot = StartHost(Options.program, seed);
  // Scripted times count from the moment the guest starts.
  ApplyHeadlessOptions();

  int status = kExitLoadFailed;
  RunReport report = {RunEnd::kQuit, 0, 0.0};
  if (boot == BootOutcome::kReady) {
    // Hints only for a run that nothing else would end.
    if (!Options.quiet && !Options.debugger && Options.max_instructions == 0 &&
        Options.timeout_seconds == 0) {
      StartHints();
    }
    report = Options.debugger ? RunUnderDebugger(Options.max_instructions, Options.timeout_seconds)
                              : RunHost(Options.max_instructions, Options.timeout_seconds, trace);
    switch (report.end) {
      case RunEnd::kQuit:
      case RunEnd::kUnresponsive:
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
      case RunEnd::kKilled:
        status = kExitKilled;
        break;
    }
    if (!Options.quiet) PrintEndReport(report);
  } else {
    // Why nothing ran is an error, written even with --quiet.
    ExplainBootFailure(boot);
  }
  // Work on the finished run that needs the canvas (screenshots) or the guest's window as the
  // guest left it goes here, before EndHost.
  if (!Options.screenshot_path.empty() && !SaveScreenshot(Options.screenshot_path)) {
    status = kExitScreenshotFailed;
  }
  const HeadlessWindowInfo window = HeadlessWindow();
  // The runner's own clean-up is nothing the guest did.
  HeadlessSetHostLog(nullptr);
  if (host_log != nullptr) fclose(host_log);
  EndHost();

  if (Options.dump_state) DumpState(report.instructions);
  for (const MemoryRange& range : Options.dumps) DumpMemory(range);
  if (Options.dump_window) DumpWindow(window);
  fflush(stdout);
  TraceServicesTo(nullptr);
  for (FILE* file : {trace, service_trace})
    if (file != nullptr && file != stderr) fclose(file);
  return status;
}

}  // namespace
}  // namespace velmora

int main(int argc, char** argv) {
  return velmora::RunMain(argc, argv);
}
