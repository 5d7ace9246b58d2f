// The one emulated machine: data space, program memory, program counter, flags, fault code.
#pragma once

#include <cstdint>

namespace velmora {

constexpr uint32_t kDataSpaceSize = 0x10100;  // 64 KiB guest data plus 256 guard bytes
constexpr uint32_t kGuestDataSize = 0x10000;  // what the guest can address
constexpr uint32_t kProgramBytes = 0x41000;
constexpr uint32_t kProgramWords = kProgramBytes / 2;

// Data addresses the machine and the service gate interpret.
constexpr uint16_t kEventPendingAddress = 0x46;
constexpr uint16_t kStatusAddress = 0x47;
constexpr uint16_t kGroupAddress = 0x48;
constexpr uint16_t kFunctionAddress = 0x49;
constexpr uint16_t kRampzAddress = 0x5B;
constexpr uint16_t kEindAddress = 0x5C;
constexpr uint16_t kSpAddress = 0x5D;
constexpr uint16_t kSregAddress = 0x5F;
constexpr uint16_t kArgumentAddress = 0x60;

// Flag indices, in SREG bit order; branch and BSET/BCLR instructions select flags by index.
enum FlagIndex : int { kFlagC, kFlagZ, kFlagN, kFlagV, kFlagS, kFlagH, kFlagT, kFlagI };

// Eight bytes, each 0 or 1, so that an instruction writes only the flags it changes.
struct StatusFlags {
  uint8_t bit[8];
};

// Fault codes: 0 while running; anything else stops the machine for good.
enum FaultCode : uint8_t {
  kFaultNone = 0,
  kFaultEmptyOpcode = 1,
  kFaultUndefinedOneOperand = 2,
  kFaultUndefinedLoad = 3,
  kFaultUndefinedStore = 4,
  kFaultDataWrite = 5,
  kFaultDataRead = 6,
  // pc reached 0x20800 or beyond (after a return, branch, skip or straight-line execution).
  kFaultPcOutside = 7,
  kFaultElpm = 8,
  kFaultRjmp = 9,
  kFaultJmp = 10,
  // A two-word instruction, or the word a skip tests, lies beyond the end of program memory.
  kFaultOperandOutside = 11,
  kFaultEijmp = 12,
  kFaultCall = 13,
  kFaultRcall = 14,
  kFaultEicall = 16,
};

struct MachineState {
  // Padding behind program memory lets the fetch of a two-word instruction in the last word read
  // a defined value; the handler then stops the machine with kFaultOperandOutside.
  alignas(64) uint8_t program[kProgramBytes + 4];
  alignas(64) uint8_t data[kDataSpaceSize];
  uint32_t pc;  // word index into program memory
  StatusFlags flags;
  uint8_t fault;
  // Set by the host when a pump meets the quit message; the run loop stops like on a fault.
  uint8_t quit;
};

extern MachineState Machine;

inline uint16_t DataWord(uint32_t address) {
  return uint16_t(Machine.data[address] | (Machine.data[address + 1] << 8));
}
inline void SetDataWord(uint32_t address, uint16_t value) {
  Machine.data[address] = uint8_t(value);
  Machine.data[address + 1] = uint8_t(value >> 8);
}
inline uint16_t StackPointer() {
  return DataWord(kSpAddress);
}
inline void SetStackPointer(uint16_t sp) {
  SetDataWord(kSpAddress, sp);
}

uint8_t ComposeSreg();
void SplitSreg(uint8_t value);

// Data-transfer accesses: SREG composed and split at 0x5F, faults 6 and 5 at 0x10000 and beyond.
// The plain RAM case is inline: it runs for every load and store of the guest.
uint8_t ReadDataSpecial(uint32_t address);
void WriteDataSpecial(uint32_t address, uint8_t value);
inline uint8_t ReadData(uint32_t address) {
  if (address < kGuestDataSize && address != kSregAddress) return Machine.data[address];
  return ReadDataSpecial(address);
}
inline void WriteData(uint32_t address, uint8_t value) {
  if (address < kGuestDataSize && address != kSregAddress) {
    Machine.data[address] = value;
    return;
  }
  WriteDataSpecial(address, value);
}

// Three-byte return addresses, low byte at SP+1 after the push (the reverse of the hardware's
// order). Stack arithmetic wraps modulo 0x10000; the guard bytes absorb accesses above 0xFFFF.
void PushReturnAddress(uint32_t address);
uint32_t PopReturnAddress();

// Initial state: flags 0, fault 0, pc 0, everything else zero.
void ClearMachine();
// Data 0x0000-0xFFFF to 0xFF, guard bytes to 0, SP 0xFFFF, fault 0, pc 0; flags untouched.
void ResetMachine();

}  // namespace velmora
