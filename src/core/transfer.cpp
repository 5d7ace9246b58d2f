// Data transfer instructions. Addresses an instruction forms go through ReadData and WriteData;
// register operands and pointer updates use the data space directly. No flag changes here except
// through a write of SREG at 0x5F.
#include "core/fields.h"
#include "core/handlers.h"

namespace velmora {

namespace {

uint8_t* const R = Machine.data;
constexpr int kX = 26, kY = 28, kZ = 30;

inline void Next() {
  Machine.pc += 1;
}
inline uint16_t Pointer(int low) {
  return uint16_t(R[low] | (R[low + 1] << 8));
}
inline void SetPointer(int low, uint16_t value) {
  R[low] = uint8_t(value);
  R[low + 1] = uint8_t(value >> 8);
}

// Pre-decrement moves the pointer before the read; post-increment reads the byte first, so a
// pointer aimed at its own registers sees their value before the instruction. The loaded byte
// is written last: LD R26,X+ leaves the loaded byte in R26.
inline void LoadThrough(const uint8_t* w, int pointer, int change) {
  uint16_t address = Pointer(pointer);
  if (change < 0) {
    address = uint16_t(address - 1);
    SetPointer(pointer, address);
  }
  const uint8_t value = ReadData(address);
  if (change > 0) SetPointer(pointer, uint16_t(address + 1));
  R[FieldD5(w)] = value;
  Next();
}

inline void StoreThrough(const uint8_t* w, int pointer, int change) {
  uint16_t address = Pointer(pointer);
  if (change < 0) {
    address = uint16_t(address - 1);
    SetPointer(pointer, address);
  } else if (change > 0) {
    SetPointer(pointer, uint16_t(address + 1));
  }
  WriteData(address, R[FieldD5(w)]);  // read after the update: ST X+,R26 stores the new low byte
  Next();
}

// One program-memory byte for ELPM, or fault 8 beyond program memory.
inline void LoadProgramExtended(int d, bool increment) {
  const uint32_t a = (uint32_t(R[kRampzAddress]) << 16) | Pointer(kZ);
  if (a >= kProgramBytes) {
    R[d] = 0;
    if (Machine.fault == kFaultNone) Machine.fault = kFaultElpm;
    Next();
    return;
  }
  R[d] = Machine.program[a];
  if (increment) {
    SetPointer(kZ, uint16_t(a + 1));
    R[kRampzAddress] = uint8_t((a + 1) >> 16);
  }
  Next();
}

}  // namespace

// MOV: copy register. 0010 11rd dddd rrrr
void ExecMOV(const uint8_t* w) {
  R[FieldD5(w)] = R[FieldR5(w)];
  Next();
}

// MOVW: copy register pair. 0000 0001 dddd rrrr
void ExecMOVW(const uint8_t* w) {
  const int d = 2 * (w[0] >> 4), r = 2 * (w[0] & 0x0F);
  R[d] = R[r];
  R[d + 1] = R[r + 1];
  Next();
}

// LDI: load immediate. 1110 KKKK dddd KKKK
void ExecLDI(const uint8_t* w) {
  R[FieldD4(w)] = FieldK8(w);
  Next();
}

// LDD: load indirect with displacement, Y (bit 3 set) or Z. 10q0 qq0d dddd bqqq
void ExecLDD(const uint8_t* w) {
  const uint32_t address = Pointer((w[0] & 8) ? kY : kZ) + uint32_t(FieldQ(w));
  R[FieldD5(w)] = ReadData(address);
  Next();
}

// STD: store indirect with displacement, Y (bit 3 set) or Z. 10q0 qq1r rrrr bqqq
void ExecSTD(const uint8_t* w) {
  const uint32_t address = Pointer((w[0] & 8) ? kY : kZ) + uint32_t(FieldQ(w));
  WriteData(address, R[FieldD5(w)]);
  Next();
}

// LDS: load direct from data space. 1001 000d dddd 0000 kkkk kkkk kkkk kkkk
void ExecLDS(const uint8_t* w) {
  if (Machine.pc + 1 >= kProgramWords) {
    Machine.fault = kFaultOperandOutside;
    return;
  }
  R[FieldD5(w)] = ReadData(SecondWord(w));
  Machine.pc += 2;
}

// STS: store direct to data space. 1001 001r rrrr 0000 kkkk kkkk kkkk kkkk
void ExecSTS(const uint8_t* w) {
  if (Machine.pc + 1 >= kProgramWords) {
    Machine.fault = kFaultOperandOutside;
    return;
  }
  WriteData(SecondWord(w), R[FieldD5(w)]);
  Machine.pc += 2;
}

// LD Rd,X / X+ / -X. 1001 000d dddd 11xx
void ExecLD_X(const uint8_t* w) {
  LoadThrough(w, kX, 0);
}
void ExecLD_XINC(const uint8_t* w) {
  LoadThrough(w, kX, 1);
}
void ExecLD_XDEC(const uint8_t* w) {
  LoadThrough(w, kX, -1);
}
// LD Rd,Y / Y+ / -Y. 1001 000d dddd 10xx
void ExecLD_Y(const uint8_t* w) {
  LoadThrough(w, kY, 0);
}
void ExecLD_YINC(const uint8_t* w) {
  LoadThrough(w, kY, 1);
}
void ExecLD_YDEC(const uint8_t* w) {
  LoadThrough(w, kY, -1);
}
// LD Rd,Z+ / -Z. 1001 000d dddd 00xx
void ExecLD_ZINC(const uint8_t* w) {
  LoadThrough(w, kZ, 1);
}
void ExecLD_ZDEC(const uint8_t* w) {
  LoadThrough(w, kZ, -1);
}

// ST X,Rr / X+ / -X. 1001 001r rrrr 11xx
void ExecST_X(const uint8_t* w) {
  StoreThrough(w, kX, 0);
}
void ExecST_XINC(const uint8_t* w) {
  StoreThrough(w, kX, 1);
}
void ExecST_XDEC(const uint8_t* w) {
  StoreThrough(w, kX, -1);
}
// ST Y,Rr / Y+ / -Y. 1001 001r rrrr 10xx
void ExecST_Y(const uint8_t* w) {
  StoreThrough(w, kY, 0);
}
void ExecST_YINC(const uint8_t* w) {
  StoreThrough(w, kY, 1);
}
void ExecST_YDEC(const uint8_t* w) {
  StoreThrough(w, kY, -1);
}
// ST Z+,Rr / -Z. 1001 001r rrrr 00xx
void ExecST_ZINC(const uint8_t* w) {
  StoreThrough(w, kZ, 1);
}
void ExecST_ZDEC(const uint8_t* w) {
  StoreThrough(w, kZ, -1);
}

// PUSH: the byte goes where SP pointed, then SP moves down. 1001 001r rrrr 1111
void ExecPUSH(const uint8_t* w) {
  const uint16_t s = StackPointer();
  SetStackPointer(uint16_t(s - 1));
  WriteData(s, R[FieldD5(w)]);
  Next();
}

// POP: SP moves up, then the byte is read there. 1001 000d dddd 1111
void ExecPOP(const uint8_t* w) {
  const uint16_t s = uint16_t(StackPointer() + 1);
  SetStackPointer(s);
  R[FieldD5(w)] = ReadData(s);
  Next();
}

// IN: read I/O register. 1011 0AAd dddd AAAA
void ExecIN(const uint8_t* w) {
  R[FieldD5(w)] = ReadData(uint32_t(FieldA6(w)) + 0x20);
  Next();
}

// OUT: write I/O register. 1011 1AAr rrrr AAAA
void ExecOUT(const uint8_t* w) {
  WriteData(uint32_t(FieldA6(w)) + 0x20, R[FieldD5(w)]);
  Next();
}

// SBI: set bit in I/O register 0-31. 1001 1010 AAAA Abbb
void ExecSBI(const uint8_t* w) {
  R[0x20 + FieldA5(w)] |= uint8_t(1 << FieldB(w));
  Next();
}

// CBI: clear bit in I/O register 0-31. 1001 1000 AAAA Abbb
void ExecCBI(const uint8_t* w) {
  R[0x20 + FieldA5(w)] &= uint8_t(~(1 << FieldB(w)));
  Next();
}

// XCH: exchange register and the byte at Z. 1001 001d dddd 0100
void ExecXCH(const uint8_t* w) {
  const int d = FieldD5(w);
  const uint16_t z = Pointer(kZ);
  const uint8_t m = ReadData(z);
  WriteData(z, R[d]);
  R[d] = m;
  Next();
}

// LAS: load and set. 1001 001d dddd 0101
void ExecLAS(const uint8_t* w) {
  const int d = FieldD5(w);
  const uint16_t z = Pointer(kZ);
  R[d] = R[d] | ReadData(z);
  WriteData(z, R[d]);
  Next();
}

// LAC: load and clear. 1001 001d dddd 0110
void ExecLAC(const uint8_t* w) {
  const int d = FieldD5(w);
  const uint16_t z = Pointer(kZ);
  R[d] = uint8_t(ReadData(z) & ~R[d]);
  WriteData(z, R[d]);
  Next();
}

// LAT: load and toggle. 1001 001d dddd 0111
void ExecLAT(const uint8_t* w) {
  const int d = FieldD5(w);
  const uint16_t z = Pointer(kZ);
  R[d] = R[d] ^ ReadData(z);
  WriteData(z, R[d]);
  Next();
}

// LPM: load program memory into R0. 1001 0101 1100 1000
void ExecLPM_R0(const uint8_t*) {
  R[0] = Machine.program[Pointer(kZ)];
  Next();
}

// LPM Rd,Z. 1001 000d dddd 0100
void ExecLPM(const uint8_t* w) {
  R[FieldD5(w)] = Machine.program[Pointer(kZ)];
  Next();
}

// LPM Rd,Z+: Z is read again after Rd is written. 1001 000d dddd 0101
void ExecLPM_INC(const uint8_t* w) {
  R[FieldD5(w)] = Machine.program[Pointer(kZ)];
  SetPointer(kZ, uint16_t(Pointer(kZ) + 1));
  Next();
}

// ELPM: extended load program memory into R0. 1001 0101 1101 1000
void ExecELPM_R0(const uint8_t*) {
  LoadProgramExtended(0, false);
}
// ELPM Rd,Z. 1001 000d dddd 0110
void ExecELPM(const uint8_t* w) {
  LoadProgramExtended(FieldD5(w), false);
}
// ELPM Rd,Z+: new Z and RAMPZ come from the address before the load. 1001 000d dddd 0111
void ExecELPM_INC(const uint8_t* w) {
  LoadProgramExtended(FieldD5(w), true);
}

}  // namespace velmora
