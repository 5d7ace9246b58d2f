// The file services and slot tables for what a guest program cannot easily provoke: failing
// devices, failing closes and the closing of everything at the end of a run.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "core/machine.h"
#include "host/hex_loader.h"
#include "host/host_services.h"
#include "io/file_layer.h"
#include "io/slots.h"
#include "services/gate.h"
#include "services/guest.h"
#include "services/status.h"

namespace velmora {
namespace {

constexpr uint16_t kNameAddress = 0x300;

uint8_t Call(uint8_t function) {
  Machine.data[kStatusAddress] = 0xEE;
  CallService(7, function);
  return Machine.data[kStatusAddress];
}

uint8_t Open(uint8_t slot, uint8_t mode, const std::string& name) {
  WriteGuestString(kNameAddress, name);
  SetGuestByte(0x60, slot);
  SetGuestByte(0x61, mode);
  SetGuestWord(0x62, kNameAddress);
  return Call(40);
}

uint8_t SlotCall(uint8_t function, uint8_t slot) {
  SetGuestByte(0x60, slot);
  return Call(function);
}

class FilesServices : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallAllServices();
    ResetFileSlots();
    char pattern[] = "/tmp/velmora_files_services_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    CloseAllFileSlots();
    const std::string command = "rm -rf '" + dir_ + "'";
    ASSERT_EQ(system(command.c_str()), 0);
  }
  std::string Path(const char* name) const { return dir_ + "/" + name; }
  std::string Load(const char* name) const {
    std::ifstream in(Path(name), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  std::string dir_;
};

TEST_F(FilesServices, WritesToAFullDeviceReportFailure) {
  if (Open(20, 4, "/dev/full") != 0) GTEST_SKIP() << "/dev/full not available";
  struct Case {
    uint8_t function;
    const char* what;
  };
  for (const Case& c : {Case{53, "byte"}, Case{54, "word"}, Case{55, "dword"}, Case{56, "qword"}}) {
    EXPECT_EQ(SlotCall(c.function, 20), 8) << c.what;
  }
  WriteGuestString(0x400, "text");
  SetGuestWord(0x61, 0x400);
  EXPECT_EQ(SlotCall(100, 20), 8);
  EXPECT_EQ(GuestWord(0x60), 0);
  SetGuestWord(0x61, 0x400);
  EXPECT_EQ(SlotCall(101, 20), 8);
  EXPECT_EQ(GuestWord(0x60), 0);
  SetGuestWord(0x61, 4);
  SetGuestWord(0x63, 0x400);
  EXPECT_EQ(SlotCall(58, 20), 8);
  EXPECT_EQ(SlotCall(42, 20), 0);  // a device has nothing to write through
  EXPECT_EQ(SlotCall(41, 20), 0);
}

// A close the platform reports as failed has still released the handle: the slot must not keep
// a number that a later open may reuse for another file.
TEST_F(FilesServices, FailedCloseLeavesTheSlotClosed) {
  FileSlot[30] = {1, kInvalidHandle};
  EXPECT_EQ(SlotCall(41, 30), 1);
  EXPECT_EQ(FileSlot[30].open, 0);
  EXPECT_EQ(SlotCall(41, 30), 1);
  // Reopening over a slot whose close fails still opens.
  FileSlot[31] = {1, kInvalidHandle};
  EXPECT_EQ(Open(31, 1, Path("fresh")), 0);
  EXPECT_EQ(FileSlot[31].open, 1);
}

TEST_F(FilesServices, CloseAllWritesEverythingAndFreesTheFiles) {
  ASSERT_EQ(Open(0, 1, Path("first")), 0);
  ASSERT_EQ(Open(255, 1, Path("last")), 0);
  WriteGuestString(0x400, "data");
  SetGuestWord(0x61, 0x400);
  EXPECT_EQ(SlotCall(101, 0), 0);
  SetGuestWord(0x61, 0x400);
  EXPECT_EQ(SlotCall(100, 255), 0);
  FileSlot[100] = {1, kInvalidHandle};  // its close fails
  SerialSlot[5] = {1, kInvalidSerialHandle};
  CloseAllFileSlots();
  for (int slot : {0, 100, 255}) EXPECT_EQ(FileSlot[slot].open, 0) << slot;
  EXPECT_EQ(SerialSlot[5].open, 1);  // serial slots are closed separately
  EXPECT_EQ(Load("first"), "data\r\n");
  EXPECT_EQ(Load("last"), "data");
  // The locks are gone: both files open again.
  EXPECT_EQ(Open(1, 3, Path("first")), 0);
  EXPECT_EQ(Open(2, 3, Path("last")), 0);
  SerialSlot[5] = {};
}

TEST_F(FilesServices, TinyLineBufferGivesAClearStatus) {
  std::ofstream(Path("short"), std::ios::binary) << "x";
  ASSERT_EQ(Open(3, 3, Path("short")), 0);
  EXPECT_EQ(SlotCall(50, 3), 255);  // leaves the end-of-file state behind
  EXPECT_EQ(SlotCall(46, 3), 0);
  EXPECT_EQ(SlotCall(49, 3), 0);
  EXPECT_EQ(SlotCall(49, 3), 255);
  SetGuestWord(0x61, 0x400);
  SetGuestWord(0x63, 1);
  EXPECT_EQ(SlotCall(98, 3), 0);
  EXPECT_EQ(GuestWord(0x60), 1);
}

// Delete and rename look for a file held open, but never by opening a FIFO or a device: that
// would complete a waiting writer's open or raise a port's modem lines.
TEST_F(FilesServices, DeleteAndRenameLeaveAFifoUnopened) {
  ASSERT_EQ(mkfifo(Path("pipe").c_str(), 0600), 0);
  const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(inotify_add_watch(watch, Path("pipe").c_str(), IN_OPEN), 0);
  WriteGuestString(0x300, Path("pipe"));
  WriteGuestString(0x380, Path("moved"));
  SetGuestWord(0x60, 0x300);
  SetGuestWord(0x62, 0x380);
  EXPECT_EQ(Call(61), 0);
  SetGuestWord(0x60, 0x380);
  EXPECT_EQ(Call(43), 0);
  // The deletion itself ends the watch (IN_IGNORED); no open may come before it.
  alignas(inotify_event) char events[512];
  const ssize_t length = read(watch, events, sizeof events);
  for (ssize_t at = 0; at < length;) {
    const inotify_event* event = reinterpret_cast<const inotify_event*>(events + at);
    EXPECT_EQ(event->mask & IN_OPEN, 0u);
    at += ssize_t(sizeof(inotify_event) + event->len);
  }
  close(watch);
}

// 102 and 103 on the program path as the loader recorded it; 0x400 gets the answer.
TEST_F(FilesServices, ProgramDirectoryAndPath) {
  struct Case {
    const char* loaded;
    uint16_t size;
    uint8_t function, status;
    const char* want;
  };
  const Case cases[] = {
      {"/work/demo/prog.hex", 64, 102, 0, "\\work\\demo"},
      {"prog.hex", 64, 102, 0, "."},  // loaded by a bare name: the current directory
      {"/prog.hex", 64, 102, 0, ""},
      {"", 64, 102, 0, ""},  // nothing loaded
      {"/work/demo/prog.hex", 10, 102, 1, ""},
      {"/work/demo/prog.hex", 11, 102, 0, "\\work\\demo"},
      {"sub/prog.hex", 64, 103, 0, "sub\\prog.hex"},
      {"sub/prog.hex", 12, 103, 1, ""},
  };
  for (const Case& c : cases) {
    LoadedProgramPathLength = uint32_t(std::strlen(c.loaded));
    std::memcpy(LoadedProgramPath, c.loaded, LoadedProgramPathLength + 1);
    WriteGuestString(0x400, "old");
    SetGuestWord(0x60, 0x400);
    SetGuestWord(0x62, c.size);
    EXPECT_EQ(Call(c.function), c.status) << c.loaded << " " << c.size;
    EXPECT_EQ(GuestString(0x400), c.want) << c.loaded << " " << c.size;
  }
  LoadedProgramPathLength = 0;
  LoadedProgramPath[0] = 0;
}

// Every service that needs an open slot, files and serial ports alike, gives status 1 on a
// closed one and writes nothing back (108 alone delivers the byte 0).
TEST_F(FilesServices, ClosedSlotsTouchNothing) {
  const uint8_t functions[] = {41, 42, 46, 47, 48, 49,  50,  51, 52, 53, 54, 55, 56,
                               57, 58, 59, 98, 99, 100, 101, 74, 75, 76, 77, 78, 79,
                               80, 81, 82, 83, 84, 85,  87,  88, 89, 90, 91, 108};
  for (uint8_t function : functions) {
    SetGuestByte(0x60, 77);
    std::memset(Machine.data + 0x61, 0x01, 15);  // buffers at 0x0101 pass the range check
    EXPECT_EQ(Call(function), 1) << int(function);
    EXPECT_EQ(GuestByte(0x60), function == 108 ? 0 : 77) << int(function);
    for (uint32_t at = 0x61; at < 0x70; ++at) EXPECT_EQ(GuestByte(at), 1) << int(function);
  }
}

TEST_F(FilesServices, BuffersStayInsideTheDataSpace) {
  // Each range-checked service, serial ports included, refuses a buffer ending at 0xFFFF before
  // it looks at the slot.
  struct Case {
    uint8_t function;
    uint16_t count_address, buffer_address;
    bool empty;
  };
  const Case cases[] = {{57, 0x61, 0x63, false}, {58, 0x61, 0x63, false}, {98, 0x63, 0x61, true},
                        {99, 0x63, 0x61, true},  {62, 0x62, 0x60, true},  {63, 0x62, 0x60, true},
                        {68, 0x62, 0x60, true},  {69, 0x62, 0x60, true},  {102, 0x62, 0x60, true},
                        {103, 0x62, 0x60, true}, {77, 0x61, 0x63, false}, {78, 0x61, 0x63, false}};
  for (const Case& c : cases) {
    SetGuestByte(0x60, 77);  // closed slot
    SetGuestWord(c.buffer_address, 0xFF00);
    SetGuestWord(c.count_address, 0xFF);
    Machine.data[0xFF00] = 0xAA;
    EXPECT_EQ(Call(c.function), 2) << int(c.function);
    EXPECT_EQ(Machine.data[0xFF00], c.empty ? 0 : 0xAA) << int(c.function);
    SetGuestWord(c.count_address, 0xFFFF);  // wraps past the end of the 16-bit space
    SetGuestWord(c.buffer_address, 0x0100);
    SetGuestByte(0x60, 77);
    EXPECT_EQ(Call(c.function), 2) << int(c.function);
  }
}

}  // namespace
}  // namespace velmora
