// The serial services on pseudo-terminals, for what the serial guest (tests/guest/files) cannot
// see: the terminal settings a port gets, purges, the modem lines a pseudo-terminal lacks, and
// closing every port at the end (a write nobody takes is the serial guest's). The test holds the
// master end; the guest's port COM3 is the slave end (named through VELMORA_COM3).
#include <gtest/gtest.h>
#include <pty.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>

#include "core/machine.h"
#include "host/host_services.h"
#include "io/serial_layer.h"
#include "io/slots.h"
#include "unit_support.h"

namespace velmora {
namespace {

constexpr uint8_t kPort = 3;

class SerialPorts : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallAllServices();
    char name[256];
    ASSERT_EQ(openpty(&master_, &slave_, name, nullptr, nullptr), 0);
    setenv("VELMORA_COM3", name, 1);
    setenv("VELMORA_COM4", "/nonexistent/velmora-port", 1);
  }
  void TearDown() override {
    CloseAllSerialSlots();
    close(master_);
    close(slave_);
    unsetenv("VELMORA_COM3");
    unsetenv("VELMORA_COM4");
  }

  void OpenPort() {
    ASSERT_EQ(SlotCall(73, kPort), 0);
    ASSERT_EQ(SerialSlot[kPort].open, 1);
  }
  // Waits until the port's input queue holds `count` bytes (pseudo-terminals deliver later).
  bool WaitForInput(uint16_t count) {
    for (int i = 0; i < 1000; ++i) {
      if (SlotCall(90, kPort) == 0 && GuestWord(kArgumentAddress) >= count) return true;
      usleep(1000);
    }
    return false;
  }

  int master_ = -1;
  int slave_ = -1;
};

TEST_F(SerialPorts, ConfigureAppliesTheFrame) {
  OpenPort();
  const struct Case {
    uint32_t baud;
    uint8_t data_bits, parity, stop_bits, status;
    speed_t speed = 0;
    bool two_stop = false;
  } cases[] = {
      {9600, 8, 0, 1, 0, B9600, false},
      {115200, 8, 0, 2, 0, B115200, true},
      {300, 8, 0, 1, 0, B300, false},
      // Pseudo-terminals carry 8 bits without parity: other frames are refused.
      {115200, 7, 0, 2, 4},
      {9600, 8, 1, 1, 4},
      {9600, 9, 0, 1, 3},
      {9600, 8, 0, 3, 3},
      {0, 8, 0, 1, 3},      // the settings text is rejected
      {12345, 8, 0, 1, 4},  // a rate the device does not know
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(SerialSettingsText(c.baud, c.data_bits, c.parity, c.stop_bits));
    SetGuestDword(0x61, c.baud);
    SetGuestByte(0x65, c.data_bits);
    SetGuestByte(0x66, c.parity);
    SetGuestByte(0x67, c.stop_bits);
    EXPECT_EQ(SlotCall(75, kPort), c.status);
    if (c.status != 0) continue;
    termios mode;
    ASSERT_EQ(tcgetattr(slave_, &mode), 0);
    EXPECT_EQ(cfgetospeed(&mode), c.speed);
    EXPECT_EQ(mode.c_cflag & (CSIZE | PARENB | PARODD), tcflag_t(CS8));
    EXPECT_EQ((mode.c_cflag & CSTOPB) != 0, c.two_stop);
    EXPECT_EQ(mode.c_lflag & (ICANON | ECHO), 0u);
  }
}

// The presence test opens and closes without touching the device; the first operation on an
// open port sets it up for binary transfers (no echo, no line editing).
TEST_F(SerialPorts, PresenceTestLeavesTheDeviceAlone) {
  termios before;
  ASSERT_EQ(tcgetattr(slave_, &before), 0);
  ASSERT_NE(before.c_lflag & ICANON, 0u);
  EXPECT_EQ(SlotCall(86, kPort), 0);
  EXPECT_EQ(GuestByte(kArgumentAddress), 1);
  OpenPort();
  termios mode;
  ASSERT_EQ(tcgetattr(slave_, &mode), 0);
  EXPECT_EQ(mode.c_lflag, before.c_lflag);
  EXPECT_EQ(SlotCall(90, kPort), 0);
  ASSERT_EQ(tcgetattr(slave_, &mode), 0);
  EXPECT_EQ(mode.c_lflag & (ICANON | ECHO | ISIG), 0u);
  EXPECT_EQ(mode.c_oflag & OPOST, 0u);
  EXPECT_EQ(mode.c_cflag & CSIZE, before.c_cflag & CSIZE);
  EXPECT_EQ(cfgetospeed(&mode), cfgetospeed(&before));
}

TEST_F(SerialPorts, PurgesAndQueueCounts) {
  OpenPort();
  for (uint8_t purge : {88, 89}) {  // the input purge, and the purge of both queues
    ASSERT_EQ(write(master_, "abcdef", 6), 6);
    ASSERT_TRUE(WaitForInput(6));
    EXPECT_EQ(SlotCall(purge, kPort), 0);
    EXPECT_EQ(SlotCall(90, kPort), 0);
    EXPECT_EQ(GuestWord(kArgumentAddress), 0) << int(purge);
  }
  EXPECT_EQ(SlotCall(87, kPort), 0);
  EXPECT_EQ(SlotCall(91, kPort), 0);
  EXPECT_EQ(GuestWord(kArgumentAddress), 0);
}

// Pseudo-terminals have no modem lines: reading them fails with status 10 and delivers zeros,
// raising or dropping DTR and RTS fails with its own status.
TEST_F(SerialPorts, ModemLinesOnAPseudoTerminal) {
  OpenPort();
  for (uint8_t function : {80, 81, 82}) {
    SetGuestByte(kArgumentAddress + 1, 0xAA);
    EXPECT_EQ(SlotCall(function, kPort), 10) << int(function);
    EXPECT_EQ(GuestByte(kArgumentAddress), 0);
  }
  SetGuestWord(0x61, 0x600);
  SetGuestWord(0x63, 0x601);
  SetGuestWord(0x65, 0x602);
  std::memset(Machine.data + 0x600, 0xAA, 3);
  EXPECT_EQ(SlotCall(83, kPort), 10);
  EXPECT_EQ(std::memcmp(Machine.data + 0x600, "\0\0\0", 3), 0);
  struct Case {
    uint8_t function, on, status;
  };
  for (const Case& c : {Case{84, 1, 11}, Case{84, 0, 12}, Case{85, 1, 13}, Case{85, 0, 14}}) {
    SetGuestByte(0x61, c.on);
    EXPECT_EQ(SlotCall(c.function, kPort), c.status) << int(c.function) << " " << int(c.on);
  }
}

TEST_F(SerialPorts, CloseAllClosesEveryOpenPort) {
  OpenPort();
  SerialSlot[200] = {1, kInvalidSerialHandle};  // a close that fails
  CloseAllSerialSlots();
  EXPECT_EQ(SerialSlot[kPort].open, 0);
  EXPECT_EQ(SerialSlot[200].open, 0);
  EXPECT_EQ(SerialClose(kInvalidSerialHandle), 106u);
  // The port is free again.
  EXPECT_EQ(SlotCall(86, kPort), 0);
  EXPECT_EQ(GuestByte(kArgumentAddress), 1);
}

}  // namespace
}  // namespace velmora
