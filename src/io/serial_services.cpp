// Group 7 serial port services: slot n (B(0x60)) is the port COMn; every service writes the
// status byte.
#include "io/io_services.h"
#include "io/serial_layer.h"
#include "io/slots.h"
#include "services/gate.h"
#include "services/guest.h"
#include "services/status.h"

namespace velmora {
namespace {

constexpr uint8_t kStatusOk = 0;
constexpr uint8_t kStatusNotOpen = 1;
constexpr uint8_t kStatusRange = 2;

uint8_t SlotArgument() {
  return GuestByte(kArgumentAddress);
}

// The open slot named by B(0x60), or nullptr after reporting status 1.
SerialSlotEntry* OpenSlot() {
  SerialSlotEntry* slot = &SerialSlot[SlotArgument()];
  if (slot->open) return slot;
  SetStatus(kStatusNotOpen);
  return nullptr;
}

bool InRange(uint32_t buffer, uint32_t count) {
  if (buffer + count < 0xFFFF) return true;
  SetStatus(kStatusRange);
  return false;
}

// 73: closes what the slot holds, then opens port COMn for slot n.
void ServiceSerialOpen() {
  const uint8_t port = SlotArgument();
  SerialSlotEntry* slot = &SerialSlot[port];
  if (slot->open) {
    SerialClose(slot->handle);
    slot->open = 0;
  }
  slot->handle = SerialOpen(port);
  const bool opened = HostError == 0 && slot->handle != kInvalidSerialHandle;
  slot->open = opened;
  SetStatus(opened ? kStatusOk : kStatusNotOpen);
}

// 74: the slot is closed whatever the outcome.
void ServiceSerialClose() {
  if (SerialSlotEntry* slot = OpenSlot()) {
    SerialClose(slot->handle);
    slot->open = 0;
    ReportHostError();
  }
}

void ServiceSerialConfigure() {
  if (SerialSlotEntry* slot = OpenSlot()) {
    SerialConfigure(slot->handle, GuestDword(0x61), GuestByte(0x65), GuestByte(0x66),
                    GuestByte(0x67));
    ReportHostError();
  }
}

void ServiceSerialTimeouts() {
  if (SerialSlotEntry* slot = OpenSlot()) {
    SerialSetTimeouts(slot->handle, GuestDword(0x61));
    ReportHostError();
  }
}

void ServiceSerialWriteBlock() {
  const uint16_t count = GuestWord(0x61);
  const uint16_t buffer = GuestWord(0x63);
  if (!InRange(buffer, count)) return;
  if (SerialSlotEntry* slot = OpenSlot()) {
    SerialWriteBlock(slot->handle, count, GuestBuffer(buffer, count));
    ReportHostError();
  }
}

void ServiceSerialReadBlock() {
  const uint16_t count = GuestWord(0x61);
  const uint16_t buffer = GuestWord(0x63);
  if (!InRange(buffer, count)) return;
  if (SerialSlotEntry* slot = OpenSlot()) {
    SetGuestWord(kArgumentAddress,
                 uint16_t(SerialReadBlock(slot->handle, count, GuestBuffer(buffer, count))));
    ReportHostError();
  }
}

void ServiceSerialWriteByte() {
  if (SerialSlotEntry* slot = OpenSlot()) {
    SerialWriteByte(slot->handle, GuestByte(0x61));
    ReportHostError();
  }
}

// 108: a closed slot also delivers the byte 0.
void ServiceSerialReadByte() {
  SerialSlotEntry* slot = OpenSlot();
  if (!slot) {
    SetGuestByte(kArgumentAddress, 0);
    return;
  }
  SetGuestByte(kArgumentAddress, SerialReadByte(slot->handle));
  ReportHostError();
}

// 80 to 82 deliver one modem line at 0x60; which one is `line` (0 CTS, 1 DSR, 2 RING).
void DeliverModemLine(int line) {
  if (SerialSlotEntry* slot = OpenSlot()) {
    uint8_t lines[3];
    SerialModemLines(slot->handle, &lines[0], &lines[1], &lines[2]);
    SetGuestByte(kArgumentAddress, lines[line]);
    ReportHostError();
  }
}

void ServiceSerialCts() {
  DeliverModemLine(0);
}
void ServiceSerialDsr() {
  DeliverModemLine(1);
}
void ServiceSerialRing() {
  DeliverModemLine(2);
}

void ServiceSerialModemLines() {
  if (SerialSlotEntry* slot = OpenSlot()) {
    uint8_t cts, dsr, ring;
    SerialModemLines(slot->handle, &cts, &dsr, &ring);
    SetGuestByte(GuestWord(0x61), cts);
    SetGuestByte(GuestWord(0x63), dsr);
    SetGuestByte(GuestWord(0x65), ring);
    ReportHostError();
  }
}

void ServiceSerialDtr() {
  if (SerialSlotEntry* slot = OpenSlot()) {
    if (GuestByte(0x61)) {
      SerialSetDtr(slot->handle);
    } else {
      SerialClearDtr(slot->handle);
    }
    ReportHostError();
  }
}

void ServiceSerialRts() {
  if (SerialSlotEntry* slot = OpenSlot()) {
    if (GuestByte(0x61)) {
      SerialSetRts(slot->handle);
    } else {
      SerialClearRts(slot->handle);
    }
    ReportHostError();
  }
}

// 86: a port this system holds open cannot be opened again and so tests as absent.
void ServiceSerialPresent() {
  SetStatus(kStatusOk);
  const uint8_t port = SlotArgument();
  uint8_t present = 0;
  if (port != 0) {
    const SerialHandle handle = SerialOpen(port);
    if (handle != kInvalidSerialHandle) {
      SerialClose(handle);
      present = 1;
    }
  }
  SetGuestByte(kArgumentAddress, present);
}

void ServiceSerialPurgeOutput() {
  if (SerialSlotEntry* slot = OpenSlot()) {
    SerialPurgeOutput(slot->handle);
    ReportHostError();
  }
}

void ServiceSerialPurgeInput() {
  if (SerialSlotEntry* slot = OpenSlot()) {
    SerialPurgeInput(slot->handle);
    ReportHostError();
  }
}

void ServiceSerialPurgeBoth() {
  if (SerialSlotEntry* slot = OpenSlot()) {
    SerialPurgeBoth(slot->handle);
    ReportHostError();
  }
}

void ServiceSerialInputCount() {
  if (SerialSlotEntry* slot = OpenSlot()) {
    SetGuestWord(kArgumentAddress, uint16_t(SerialInputCount(slot->handle)));
    ReportHostError();
  }
}

void ServiceSerialOutputCount() {
  if (SerialSlotEntry* slot = OpenSlot()) {
    SetGuestWord(kArgumentAddress, uint16_t(SerialOutputCount(slot->handle)));
    ReportHostError();
  }
}

const ServiceRow kSerialServices[] = {
    {7, 73, ServiceSerialOpen, "serial open"},
    {7, 74, ServiceSerialClose, "serial close"},
    {7, 75, ServiceSerialConfigure, "serial configure"},
    {7, 76, ServiceSerialTimeouts, "serial timeouts"},
    {7, 77, ServiceSerialWriteBlock, "serial write block"},
    {7, 78, ServiceSerialReadBlock, "serial read block"},
    {7, 79, ServiceSerialWriteByte, "serial write byte"},
    {7, 80, ServiceSerialCts, "serial CTS"},
    {7, 81, ServiceSerialDsr, "serial DSR"},
    {7, 82, ServiceSerialRing, "serial ring"},
    {7, 83, ServiceSerialModemLines, "serial modem lines"},
    {7, 84, ServiceSerialDtr, "serial DTR"},
    {7, 85, ServiceSerialRts, "serial RTS"},
    {7, 86, ServiceSerialPresent, "serial present"},
    {7, 87, ServiceSerialPurgeOutput, "serial purge output"},
    {7, 88, ServiceSerialPurgeInput, "serial purge input"},
    {7, 89, ServiceSerialPurgeBoth, "serial purge both"},
    {7, 90, ServiceSerialInputCount, "serial input count"},
    {7, 91, ServiceSerialOutputCount, "serial output count"},
    {7, 108, ServiceSerialReadByte, "serial read byte"},
};

}  // namespace

std::span<const ServiceRow> SerialServiceRows() {
  return kSerialServices;
}

}  // namespace velmora
