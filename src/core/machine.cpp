#include "core/machine.h"

#include <cstring>

namespace velmora {

MachineState Machine;

uint8_t ComposeSreg() {
  uint8_t value = 0;
  for (int i = 0; i < 8; ++i) value |= uint8_t((Machine.flags.bit[i] ? 1 : 0) << i);
  return value;
}

void SplitSreg(uint8_t value) {
  for (int i = 0; i < 8; ++i) Machine.flags.bit[i] = (value >> i) & 1;
}

// SREG and the addresses beyond the guest's 64 KiB; ReadData handles plain RAM inline.
uint8_t ReadDataSpecial(uint32_t address) {
  if (address >= kGuestDataSize) {
    if (Machine.fault == kFaultNone) Machine.fault = kFaultDataRead;
    return 0;
  }
  if (address == kSregAddress) return ComposeSreg();
  return Machine.data[address];
}

void WriteDataSpecial(uint32_t address, uint8_t value) {
  if (address >= kGuestDataSize) {
    if (Machine.fault == kFaultNone) Machine.fault = kFaultDataWrite;
    return;
  }
  if (address == kSregAddress) {
    SplitSreg(value);
    return;
  }
  Machine.data[address] = value;
}

void PushReturnAddress(uint32_t address) {
  const uint32_t s = StackPointer();
  Machine.data[(s - 2) & 0xFFFF] = uint8_t(address);
  Machine.data[(s - 1) & 0xFFFF] = uint8_t(address >> 8);
  Machine.data[s] = uint8_t((address >> 16) & 0x3F);
  SetStackPointer(uint16_t(s - 3));
}

uint32_t PopReturnAddress() {
  const uint32_t s = StackPointer();  // s + 3 is at most 0x10002, inside the guard bytes
  const uint32_t address =
      Machine.data[s + 1] | (Machine.data[s + 2] << 8) | ((Machine.data[s + 3] & 0x3F) << 16);
  SetStackPointer(uint16_t(s + 3));
  return address;
}

void ClearMachine() {
  std::memset(&Machine, 0, sizeof Machine);
}

void ResetMachine() {
  std::memset(Machine.data, 0xFF, kGuestDataSize);
  std::memset(Machine.data + kGuestDataSize, 0, kDataSpaceSize - kGuestDataSize);
  SetStackPointer(0xFFFF);
  Machine.fault = kFaultNone;
  Machine.quit = 0;
  Machine.pc = 0;
}

}  // namespace velmora
