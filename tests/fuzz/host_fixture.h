// The host the gate and processor targets run guests on: the headless backend, the host's own
// start-up (StartHost) before every input, the guest's files confined to a sandbox folder with a
// write quota, a small layer-memory budget, and ports 1 and 2 as loopback stand-ins (every other
// port is a host device, which the sandbox refuses).
//
// Beside the sandbox the scratch folder holds the program the host boots and a file no guest may
// reach; CheckHostFiles proves after every input that nothing there changed.
#pragma once

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>

#include "core/machine.h"
#include "fuzz_support.h"
#include "graphics/canvas.h"
#include "graphics/graphics_services.h"
#include "graphics/text.h"
#include "host/events.h"
#include "host/run.h"
#include "io/file_layer.h"
#include "io/sandbox.h"
#include "io/slots.h"
#include "platform/headless/headless.h"
#include "services/gate.h"
#include "services/guest.h"
#include "services/status.h"

namespace velmora::fuzz {

// Small limits keep every input quick and are often met (docs/architecture.md, "Fuzzing").
constexpr uint64_t kFuzzLayerBudget = 512u << 10;
constexpr uint64_t kFuzzWriteQuota = 64u << 10;

// Names and patterns the guest finds in its memory at kGuestStrings, 16 bytes apart, so that an
// argument word can name a file by pointing at one.
constexpr uint16_t kGuestStrings = 0x1000;
constexpr const char* kGuestNames[] = {
    "data.txt", "pic.bmp", "sub", "sub\\new.txt", "..\\outside.txt", "*.*",   "new.bin", "\\",
    "a\\b\\c",  "out.bmp", "NUL", "sub\\..\\x",   "C:\\y",           "z.txt", "dir\\",   "baud"};

struct FuzzHost {
  std::string box, program, outside;
  std::string start_directory;
  std::set<std::string> scratch_names;
  int open_in_scratch = -1;  // descriptors of files in the scratch folder between inputs
  int free_descriptor = -1;
  std::string sandbox_files;  // SandboxFiles() after the last time the sandbox was laid out
};

inline FuzzHost& Host() {
  static FuzzHost* host = new FuzzHost;
  return *host;
}

// The sandbox's folders and files as the kernel last changed them (ctime: contents, names and
// attributes alike). Every change a guest can make inside the sandbox moves one of them: a name
// made, removed or renamed in the box or in sub moves that folder's; anything deeper lies in a
// folder the guest first made there.
FUZZ_NO_COVERAGE inline std::string SandboxFiles() {
  std::string state;
  for (const char* name : {"", "/sub", "/data.txt", "/pic.bmp"}) {
    struct stat info = {};
    const int result = stat((Host().box + name).c_str(), &info);
    const long long fields[] = {result,
                                (long long)info.st_ctim.tv_sec,
                                (long long)info.st_ctim.tv_nsec,
                                (long long)info.st_size,
                                (long long)info.st_mode,
                                (long long)info.st_ino};
    state.append(reinterpret_cast<const char*>(fields), sizeof fields);
  }
  return state;
}

inline bool SandboxChanged() {
  return Host().sandbox_files.empty() || SandboxFiles() != Host().sandbox_files;
}

// A 4 × 3 24-bit BMP for the image services to find.
inline std::string SmallBmp() {
  std::string bytes(54 + 3 * 12, '\0');
  const auto put = [&bytes](size_t at, uint32_t value, int width) {
    for (int i = 0; i < width; ++i) bytes[at + i] = char(value >> (8 * i));
  };
  bytes[0] = 'B';
  bytes[1] = 'M';
  put(2, uint32_t(bytes.size()), 4);
  put(10, 54, 4);
  put(14, 40, 4);
  put(18, 4, 4);
  put(22, 3, 4);
  put(26, 1, 2);
  put(28, 24, 2);
  for (size_t i = 54; i < bytes.size(); ++i) bytes[i] = char(i * 37);
  return bytes;
}

inline void StartFuzzHost() {
  FuzzHost& host = Host();
  const std::string& root = ScratchRoot();
  host.box = root + "/box";
  host.program = root + "/boot.hex";
  host.outside = root + "/outside.txt";
  std::filesystem::create_directory(host.box);
  // JMP 0: a first instruction the boot accepts.
  const std::string hex = ":040000000C9400005C\n:00000001FF\n";
  WriteWholeFile(host.program, reinterpret_cast<const uint8_t*>(hex.data()), hex.size());
  WriteWholeFile(host.outside, reinterpret_cast<const uint8_t*>("SECRET"), 6);
  host.scratch_names = {"box", "boot.hex", "outside.txt"};
  host.start_directory = std::filesystem::current_path().string();
  setenv("VELMORA_COM1", "loopback", 1);
  setenv("VELMORA_COM2", "loopback", 1);
  LayerMemoryBudget = kFuzzLayerBudget;
  RequestedSandbox = {host.box, kFuzzWriteQuota};
}

// Sizes that cost far more without reaching other code (docs/architecture.md, "Fuzzing"): font
// heights stay below kTallestFont (above the glyph cache's 128), pen widths within kWidestPen
// (sign kept), and noise (3.26) over a rectangle within kNoiseFullDrawLimit, which draws every
// pixel, within kNoiseSide pixels each way. Runs before every service call (it sets itself again).
constexpr uint16_t kTallestFont = 256;
constexpr int16_t kWidestPen = 64;
constexpr int32_t kNoiseSide = 64;

inline void CapCostlySizes() {
  BeforeNextService = CapCostlySizes;
  if (Machine.data[kGroupAddress] != 3) return;
  const uint8_t function = Machine.data[kFunctionAddress];
  if (function == 26) {
    const int32_t x = GuestInt16(kArgumentAddress), y = GuestInt16(kArgumentAddress + 2);
    const int32_t dx = GuestInt16(kArgumentAddress + 4) - x;
    const int32_t dy = GuestInt16(kArgumentAddress + 6) - y;
    if ((std::abs(dx) + int64_t(1)) * (std::abs(dy) + 1) <= kNoiseFullDrawLimit) {
      SetGuestWord(kArgumentAddress + 4, uint16_t(x + dx % kNoiseSide));
      SetGuestWord(kArgumentAddress + 6, uint16_t(y + dy % kNoiseSide));
    }
  }
  if (function == 37 && GuestWord(kArgumentAddress + 1) >= kTallestFont) {
    SetGuestWord(kArgumentAddress + 1, GuestWord(kArgumentAddress + 1) % kTallestFont);
  }
  if ((function == 6 || function == 42) &&
      (GuestInt16(kArgumentAddress) > kWidestPen || GuestInt16(kArgumentAddress) < -kWidestPen)) {
    SetGuestWord(kArgumentAddress, uint16_t(GuestInt16(kArgumentAddress) % kWidestPen));
  }
}

// Everything as at the start of a run: an empty sandbox with its three files, the host started
// afresh (tables, canvas, boot, sandbox, slots, timers, machine), events and text as at start,
// and the guest's strings in place.
inline void ResetFuzzHost() {
  FuzzHost& host = Host();
  if (SandboxChanged()) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(host.box, error)) {
      std::filesystem::remove_all(entry.path(), error);
    }
    const std::string bmp = SmallBmp();
    WriteWholeFile(host.box + "/pic.bmp", reinterpret_cast<const uint8_t*>(bmp.data()), bmp.size());
    WriteWholeFile(host.box + "/data.txt", reinterpret_cast<const uint8_t*>("one\r\ntwo\nthree"),
                   14);
    std::filesystem::create_directory(host.box + "/sub", error);
    host.sandbox_files = SandboxFiles();
  }

  // As a fresh process: the boot leaves the flags as they were, zero at the start.
  ClearMachine();
  HeadlessReset();
  // The wall clock fixed as well, so that every run of an input sees the same dates.
  HeadlessSetDateTime({2024, 3, 5, 2, 14, 7, 9, 250});
  ClearEventState();
  SystemFontMode = 0;
  FontSlot = 0;
  BuiltinFont = 0;
  CharSpacing = 1;
  HostError = 0;
  EndOfFileFlag = 0;
  const BootOutcome boot = StartHost(host.program.c_str(), 1);
  if (boot != BootOutcome::kReady)
    fprintf(stderr, "boot %d, loader code %u\n", int(boot), BootLoadCode);
  FUZZ_CHECK(boot == BootOutcome::kReady, "the host did not start");
  // The boot report, drawn before the first service, is the same text on every input: drawing it
  // each time would cost more than most inputs. (A screenshot or paint still draws it.)
  BeforeNextService = CapCostlySizes;
  FUZZ_CHECK(SandboxActive(), "the sandbox was not entered");
  // The boot went into the program's folder; libFuzzer names its files from where it started.
  FUZZ_CHECK(chdir(host.start_directory.c_str()) == 0, "cannot go back to the start folder");
  CreateFontSlots();
  // A NUL every 256 bytes (0xFFFF too): a text at erased memory would run to the end of the data
  // space and take most of an input's time.
  for (uint32_t at = 0x1FF; at < kGuestDataSize; at += 0x100) Machine.data[at] = 0;
  for (size_t i = 0; i < std::size(kGuestNames); ++i) {
    WriteGuestString(uint32_t(kGuestStrings + 16 * i), kGuestNames[i]);
  }
}

// Descriptors of files in the scratch folder: every file a guest can open lies there. (The
// process holds other descriptors that come and go: libFuzzer's own, the symboliser's pipes.)
inline int OpenInScratch() {
  int count = 0;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
    const std::string target = std::filesystem::read_symlink(entry.path(), error).string();
    if (target.compare(0, ScratchRoot().size(), ScratchRoot()) == 0) ++count;
  }
  return count;
}

// The fonts a guest made in slots go at the end of an input; the system font every slot starts
// with stays for the next (made again, it would be the same font). The guest may have released
// the slots (and the system font with them) and had them made again: the system font is the one
// the slots hold now.
inline void ReleaseGuestFonts() {
  const PlatformFont shared = SlotSystemFont();
  if (shared == kNoFont) return;  // the canvas and its fonts were released
  for (FontSlotEntry& slot : FontSlots) {
    if (slot.font != shared) PlatformReleaseFont(slot.font);
    slot = {shared, false, false};
  }
}

// The end of an input: what the guest left open is closed, as at the end of a run, and its fonts
// go; nothing outside the sandbox changed, the host did not move, and no file stayed open.
inline void EndFuzzInput() {
  FuzzHost& host = Host();
  FUZZ_CHECK(LayerMemoryInUse <= LayerMemoryBudget, "layer memory beyond the budget");
  CloseAllFileSlots();
  CloseAllSerialSlots();
  ReleaseGuestFonts();
  std::set<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(ScratchRoot(), error)) {
    names.insert(entry.path().filename().string());
  }
  FUZZ_CHECK(names == host.scratch_names, "a file appeared or went beside the sandbox");
  struct stat info;
  FUZZ_CHECK(stat(host.outside.c_str(), &info) == 0 && info.st_size == 6,
             "the file beside the sandbox changed");
  FUZZ_CHECK(std::filesystem::current_path(error).string() == host.start_directory,
             "the host's working directory changed");
  // The lowest free descriptor is cheap to look at; only when it moved are the open files
  // counted (it also moves when libFuzzer starts its symboliser).
  if (host.open_in_scratch >= 0 && LowestFreeDescriptor() != host.free_descriptor) {
    FUZZ_CHECK(OpenInScratch() == host.open_in_scratch, "a file the guest opened stayed open");
    host.free_descriptor = LowestFreeDescriptor();
  }
}

// Once, before the first input: an input's start and end, after which the host holds what it
// keeps from run to run (the sandbox's root, the system font).
inline void WarmUpFuzzHost() {
  ResetFuzzHost();
  EndFuzzInput();
  Host().open_in_scratch = OpenInScratch();
  Host().free_descriptor = LowestFreeDescriptor();
}

}  // namespace velmora::fuzz
