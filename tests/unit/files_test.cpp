// The file layer and file services for what a guest program cannot provoke (failing devices and
// closes, FIFOs, the host's own files) and for the bounds every guest pointer and slot byte must
// keep. The guest program tests/guest/files runs the services on real files.
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "core/machine.h"
#include "host/host_services.h"
#include "io/file_layer.h"
#include "io/slots.h"
#include "unit_support.h"

namespace velmora {
namespace {

uint8_t Open(uint8_t slot, uint8_t mode, const std::string& name) {
  WriteGuestString(0x300, name);
  SetGuestByte(0x61, mode);
  SetGuestWord(0x62, 0x300);
  return SlotCall(40, slot);
}

class Files : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallAllServices();
    ResetFileSlots();
  }
  void TearDown() override { CloseAllFileSlots(); }
  std::string Path(const char* name) const { return scratch_.path + "/" + name; }
  ScratchDir scratch_;
};

// A failed read is no end of file; the host process's memory and its map are no files.
TEST(FilesLayer, FailuresAndTheHostsOwnFiles) {
  EndOfFileFlag = 1;
  EXPECT_EQ(FileReadDword(kInvalidHandle), 0u);
  EXPECT_EQ(EndOfFileFlag, 0);
  for (const char* name : {"/proc/self/mem", "\\proc\\self\\mem", "/proc/self/maps"})
    for (uint8_t mode : {kOpenRead, kOpenReadWrite})
      EXPECT_EQ(FileOpen(name, mode), kInvalidHandle);
}

TEST_F(Files, WritesToAFullDeviceReportFailure) {
  if (Open(20, 4, "/dev/full") != 0) GTEST_SKIP() << "/dev/full not available";
  for (uint8_t function : {53, 54, 55, 56}) EXPECT_EQ(SlotCall(function, 20), 8) << int(function);
  WriteGuestString(0x400, "text");
  for (uint8_t function : {100, 101}) {
    SetGuestWord(0x61, 0x400);
    EXPECT_EQ(SlotCall(function, 20), 8);
    EXPECT_EQ(GuestWord(0x60), 0) << "nothing written";
  }
  SetGuestWord(0x61, 4);
  SetGuestWord(0x63, 0x400);
  EXPECT_EQ(SlotCall(58, 20), 8);
}

// A close the platform reports as failed has still released the handle: the slot must not keep
// a number a later open may reuse, and closing everything goes on past it.
TEST_F(Files, FailedClosesLeaveTheSlotsClosed) {
  FileSlot[30] = {1, kInvalidHandle};
  EXPECT_EQ(SlotCall(41, 30), 1);
  EXPECT_EQ(FileSlot[30].open, 0);
  FileSlot[31] = {1, kInvalidHandle};
  EXPECT_EQ(Open(31, 1, Path("fresh")), 0) << "reopening over a failing close still opens";
  ASSERT_EQ(Open(0, 1, Path("first")), 0);
  ASSERT_EQ(Open(255, 1, Path("last")), 0);
  FileSlot[100] = {1, kInvalidHandle};
  CloseAllFileSlots();
  for (int slot : {0, 31, 100, 255}) EXPECT_EQ(FileSlot[slot].open, 0) << slot;
  EXPECT_EQ(Open(1, 3, Path("last")), 0) << "the lock is gone";
}

// Delete and rename look for a file held open, but never by opening a FIFO or a device: that
// would complete a waiting writer's open or raise a port's modem lines.
TEST_F(Files, DeleteAndRenameLeaveAFifoUnopened) {
  ASSERT_EQ(mkfifo(Path("pipe").c_str(), 0600), 0);
  const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
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

// Every service that needs an open slot, files and serial ports alike, gives status 1 on a
// closed one and writes nothing back (108 alone delivers the byte 0).
TEST_F(Files, ClosedSlotsTouchNothing) {
  for (uint8_t function :
       {41,  42, 46, 47, 48, 49, 50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 98, 99, 100,
        101, 74, 75, 76, 77, 78, 79, 80, 81, 82, 83, 84, 85, 87, 88, 89, 90, 91, 108}) {
    SetGuestByte(0x60, 77);
    std::memset(Machine.data + 0x61, 0x01, 15);  // buffers at 0x0101 pass the range check
    EXPECT_EQ(Call(function), 1) << int(function);
    EXPECT_EQ(GuestByte(0x60), function == 108 ? 0 : 77) << int(function);
    for (uint32_t at = 0x61; at < 0x70; ++at) EXPECT_EQ(GuestByte(at), 1) << int(function);
  }
}

// Each range-checked service, serial ports included, refuses a buffer that reaches 0xFFFF (or
// wraps past it) before it looks at the slot; the "empty" ones still terminate the buffer.
TEST_F(Files, BuffersStayInsideTheDataSpace) {
  const struct {
    uint8_t function;
    uint16_t count_address, buffer_address;
    bool empty;
  } cases[] = {{57, 0x61, 0x63, false}, {58, 0x61, 0x63, false}, {98, 0x63, 0x61, true},
               {99, 0x63, 0x61, true},  {62, 0x62, 0x60, true},  {63, 0x62, 0x60, true},
               {68, 0x62, 0x60, true},  {69, 0x62, 0x60, true},  {102, 0x62, 0x60, true},
               {103, 0x62, 0x60, true}, {77, 0x61, 0x63, false}, {78, 0x61, 0x63, false}};
  for (const auto& c : cases) {
    SetGuestByte(0x60, 77);  // closed slot
    SetGuestWord(c.buffer_address, 0xFF00);
    SetGuestWord(c.count_address, 0xFF);
    Machine.data[0xFF00] = 0xAA;
    EXPECT_EQ(Call(c.function), 2) << int(c.function);
    EXPECT_EQ(Machine.data[0xFF00], c.empty ? 0 : 0xAA) << int(c.function);
    SetGuestWord(c.count_address, 0xFFFF);
    SetGuestWord(c.buffer_address, 0x0100);
    SetGuestByte(0x60, 77);
    EXPECT_EQ(Call(c.function), 2) << int(c.function);
  }
}

}  // namespace
}  // namespace velmora
