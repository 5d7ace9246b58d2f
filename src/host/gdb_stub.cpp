#include "host/gdb_stub.h"

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "core/dispatch.h"
#include "core/fields.h"
#include "core/handlers.h"
#include "core/machine.h"
#include "graphics/canvas.h"
#include "host/events.h"
#include "io/slots.h"
#include "platform/platform.h"
#include "services/gate.h"

namespace velmora {

const char* DebuggerProgramName = "velmora";

namespace {

// avr-gdb's addresses: program memory from 0, the data space from 0x800000.
constexpr uint32_t kDataBase = 0x800000;
constexpr uint32_t kDataEnd = kDataBase + kGuestDataSize;
// avr-gdb's registers: r0..r31, SREG, SP (two bytes), PC (four bytes, a byte address).
constexpr uint32_t kSregRegister = 32;
constexpr uint32_t kSpRegister = 33;
constexpr uint32_t kPcRegister = 34;
constexpr uint32_t kRegisterBytes = 32 + 1 + 2 + 4;
// The largest payload taken or sent (announced as PacketSize).
constexpr uint32_t kPacketCapacity = 4096;
// Signals as the protocol numbers them.
constexpr int kSignalInt = 2;
constexpr int kSignalIll = 4;
constexpr int kSignalTrap = 5;
constexpr int kSignalKill = 9;
constexpr int kSignalSegv = 11;
// What avr-gdb sends for Ctrl-C while the guest runs.
constexpr uint8_t kInterruptByte = 0x03;
// The service call, which is also avr-gdb's breakpoint instruction.
constexpr uint16_t kBreakWord = 0x9598;
// Instructions between two looks at the connection and the clock while the guest runs: about a
// millisecond.
constexpr uint32_t kPollInterval = 1 << 16;
// A hand-over to the host (BREAK, WDR) may take far longer than an instruction (a service, a
// pump of the platform's events): it counts as this many instructions towards the next look.
constexpr uint32_t kHandOverCost = 1 << 10;
constexpr uint16_t kWatchdogWord = 0x95A8;
// Milliseconds of one wait for the debugger, between looks at Ctrl-C and the timeout.
constexpr uint32_t kWaitSlice = 100;
// How long a sent packet waits for its acknowledgement, in slices.
constexpr int kAckSlices = 50;
constexpr int kMaxWatchpoints = 32;
constexpr int kMaxReturnSlots = 4096;

enum WatchKind : uint8_t { kWatchWrite = 2, kWatchRead = 3, kWatchAccess = 4 };

struct Watchpoint {
  uint32_t start;  // data address
  uint32_t length;
  uint8_t kind;
};

// Where a call stored its return address (the low byte's data address) and the word address it
// stored. avr-gdb reads return addresses in the hardware's order, high byte first; Velmora keeps
// them low byte first, so the stub shows the bytes of each live slot turned round.
struct ReturnSlot {
  uint16_t address;
  uint32_t target;
};

// One data access an instruction is about to make.
struct DataAccess {
  uint32_t address;
  uint32_t length;
  bool read;
  bool write;
};

enum class Action { kNone, kStep, kContinue, kDetach, kKill };

enum class Stop {
  kStep,
  kBreakpoint,
  kWatch,
  kInterrupt,
  kFault,
  kQuit,
  kLimit,
  kTimeout,
  kSignal,
  kClosed
};

struct StubState {
  PlatformSocket listener = kInvalidSocket;
  PlatformSocket connection = kInvalidSocket;
  bool no_ack = false;
  uint8_t input[2048];
  uint32_t input_length = 0;
  uint32_t input_at = 0;
  char packet[kPacketCapacity + 1];
  uint32_t packet_length = 0;
  std::string reply;
  Action action = Action::kNone;
  uint8_t breakpoints[kProgramWords];  // per word: how many breakpoints (of both kinds) sit there
  Watchpoint watchpoints[kMaxWatchpoints];
  int watchpoint_count = 0;
  uint32_t watched_bytes = 0;
  ReturnSlot return_slots[kMaxReturnSlots];
  int return_slot_count = 0;
  // avr-gdb moved pc past a BREAK to step over it (see WriteRegister).
  bool skipped_service_call = false;
  // The watchpoint a step met, for the stop reply.
  uint8_t watch_kind = 0;
  uint32_t watch_address = 0;
  // Limits of the run.
  std::chrono::steady_clock::time_point start;
  uint64_t executed = 0;
  uint64_t max_instructions = 0;
  double timeout_seconds = 0;
};

StubState Stub;
// Before a service runs, the watched bytes, to see afterwards what it wrote.
uint8_t ServiceSnapshot[kGuestDataSize];

// The reply to the packet in hand. (Appended rather than assigned: GCC 12 warns wrongly about
// assigning short literals to a string.)
void Reply(const char* text) {
  Stub.reply.clear();
  Stub.reply.append(text);
}

void Note(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  fprintf(stderr, "%s: ", DebuggerProgramName);
  vfprintf(stderr, format, arguments);
  fputc('\n', stderr);
  va_end(arguments);
}

double SecondsSinceStart() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - Stub.start).count();
}

bool TimedOut() {
  return Stub.timeout_seconds > 0 && SecondsSinceStart() >= Stub.timeout_seconds;
}

// ---------------------------------------------------------------------------------------------
// Text helpers

const char kHexDigits[] = "0123456789abcdef";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void AppendHexByte(std::string* text, uint8_t value) {
  text->push_back(kHexDigits[value >> 4]);
  text->push_back(kHexDigits[value & 15]);
}

// Little-endian bytes of `value`, as the protocol sends register values.
void AppendHexLittle(std::string* text, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) AppendHexByte(text, uint8_t(value >> (8 * i)));
}

std::string HexText(std::string_view text) {
  std::string hex;
  for (const char c : text) AppendHexByte(&hex, uint8_t(c));
  return hex;
}

// A hexadecimal number that must fill `text` entirely (at most eight digits).
bool ParseHex(std::string_view text, uint32_t* value) {
  if (text.empty() || text.size() > 8) return false;
  uint32_t parsed = 0;
  for (const char c : text) {
    const int digit = HexValue(c);
    if (digit < 0) return false;
    parsed = parsed << 4 | uint32_t(digit);
  }
  *value = parsed;
  return true;
}

// Bytes from hexadecimal text; false unless `text` holds exactly 2 × `count` digits.
bool ParseHexBytes(std::string_view text, uint8_t* bytes, uint32_t count) {
  if (text.size() != 2 * size_t(count)) return false;
  for (uint32_t i = 0; i < count; ++i) {
    const int high = HexValue(text[2 * i]);
    const int low = HexValue(text[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    bytes[i] = uint8_t(high << 4 | low);
  }
  return true;
}

// "ADDR,LENGTH" followed by `terminator` (or the end when it is 0); `rest` gets what follows.
bool ParseAddressLength(std::string_view text, char terminator, uint32_t* address, uint32_t* length,
                        std::string_view* rest) {
  const size_t comma = text.find(',');
  if (comma == std::string_view::npos) return false;
  size_t end = text.size();
  if (terminator != 0) {
    end = text.find(terminator, comma);
    if (end == std::string_view::npos) return false;
  }
  if (!ParseHex(text.substr(0, comma), address) ||
      !ParseHex(text.substr(comma + 1, end - comma - 1), length)) {
    return false;
  }
  *rest = end < text.size() ? text.substr(end + 1) : std::string_view();
  return true;
}

// ---------------------------------------------------------------------------------------------
// The connection: bytes, packets, acknowledgements

enum class Received { kByte, kTimedOut, kClosed };

Received NextByte(uint32_t timeout, uint8_t* byte) {
  if (Stub.input_at == Stub.input_length) {
    const int64_t got = PlatformReceive(Stub.connection, Stub.input, sizeof Stub.input, timeout);
    if (got < 0) return Received::kClosed;
    if (got == 0) return Received::kTimedOut;
    Stub.input_length = uint32_t(got);
    Stub.input_at = 0;
  }
  *byte = Stub.input[Stub.input_at++];
  return Received::kByte;
}

bool SendRaw(std::string_view bytes) {
  return PlatformSend(Stub.connection, bytes.data(), uint32_t(bytes.size()));
}

// Sends one packet and, unless acknowledgements are off, waits for its '+' (resending on '-').
// False when the connection failed.
bool SendPacket(std::string_view payload) {
  uint8_t sum = 0;
  for (const char c : payload) sum = uint8_t(sum + uint8_t(c));
  std::string frame;
  frame.reserve(payload.size() + 4);
  frame += '$';
  frame += payload;
  frame += '#';
  AppendHexByte(&frame, sum);
  for (int attempt = 0; attempt < 5; ++attempt) {
    if (!SendRaw(frame)) return false;
    if (Stub.no_ack) return true;
    bool resend = false;
    for (int slice = 0; slice < kAckSlices && !resend; ++slice) {
      uint8_t byte = 0;
      const Received got = NextByte(kWaitSlice, &byte);
      if (got == Received::kClosed) return false;
      if (got == Received::kTimedOut) continue;
      if (byte == '+') return true;
      if (byte == '-') {
        resend = true;
      } else if (byte != kInterruptByte) {
        // The debugger went on without acknowledging: keep the byte for the next packet.
        --Stub.input_at;
        return true;
      }
    }
    if (!resend) return true;
  }
  return true;
}

// Text for the debugger's console, in packets that fit.
void SendConsoleOutput(std::string_view text) {
  constexpr size_t kChunk = (kPacketCapacity - 1) / 2;
  for (size_t at = 0; at < text.size(); at += kChunk) {
    SendPacket("O" + HexText(text.substr(at, kChunk)));
  }
}

enum class PacketRead { kPacket, kClosed, kInterrupted, kTimedOut };

// Waits for the next byte of a packet, looking at Ctrl-C and the timeout between slices.
PacketRead WaitByte(uint8_t* byte) {
  for (;;) {
    const Received got = NextByte(kWaitSlice, byte);
    if (got == Received::kByte) return PacketRead::kPacket;
    if (got == Received::kClosed) return PacketRead::kClosed;
    if (RunInterrupted != 0) return PacketRead::kInterrupted;
    if (TimedOut()) return PacketRead::kTimedOut;
  }
}

// Reads the next well-formed packet into Stub.packet. A packet with a wrong checksum is refused
// with '-' (the debugger sends it again); one longer than kPacketCapacity is acknowledged and
// answered with an error, since it cannot be kept.
PacketRead ReadPacket() {
  for (;;) {
    uint8_t byte = 0;
    if (const PacketRead r = WaitByte(&byte); r != PacketRead::kPacket) return r;
    if (byte != '$') continue;  // acknowledgements, a stray Ctrl-C, noise
    uint8_t sum = 0;
    uint32_t length = 0;
    bool overflow = false;
    for (;;) {
      if (const PacketRead r = WaitByte(&byte); r != PacketRead::kPacket) return r;
      if (byte == '#') break;
      if (byte == '$') {  // a new packet starts: the broken one is dropped
        sum = 0;
        length = 0;
        overflow = false;
        continue;
      }
      sum = uint8_t(sum + byte);
      if (length < kPacketCapacity) {
        Stub.packet[length++] = char(byte);
      } else {
        overflow = true;
      }
    }
    uint8_t digits[2] = {};
    for (uint8_t& digit : digits) {
      if (const PacketRead r = WaitByte(&digit); r != PacketRead::kPacket) return r;
    }
    const int high = HexValue(char(digits[0]));
    const int low = HexValue(char(digits[1]));
    if (high < 0 || low < 0 || uint8_t(high << 4 | low) != sum) {
      Note("debugger packet with a wrong checksum refused");
      if (!Stub.no_ack && !SendRaw("-")) return PacketRead::kClosed;
      continue;
    }
    if (!Stub.no_ack && !SendRaw("+")) return PacketRead::kClosed;
    if (overflow) {
      Note("debugger packet longer than %u bytes refused", kPacketCapacity);
      if (!SendPacket("E01")) return PacketRead::kClosed;
      continue;
    }
    Stub.packet[length] = 0;
    Stub.packet_length = length;
    return PacketRead::kPacket;
  }
}

// While the guest runs: true when the debugger sent Ctrl-C; `closed` tells of a lost connection.
bool InterruptRequested(bool* closed) {
  *closed = false;
  if (Stub.input_at == Stub.input_length) {
    const int64_t got = PlatformReceive(Stub.connection, Stub.input, sizeof Stub.input, 0);
    if (got < 0) {
      *closed = true;
      return false;
    }
    Stub.input_at = 0;
    Stub.input_length = uint32_t(got);
  }
  bool interrupt = false;
  uint32_t kept = Stub.input_at;
  for (uint32_t i = Stub.input_at; i < Stub.input_length; ++i) {
    if (Stub.input[i] == kInterruptByte) {
      interrupt = true;
    } else {
      Stub.input[kept++] = Stub.input[i];
    }
  }
  Stub.input_length = kept;
  return interrupt;
}

// ---------------------------------------------------------------------------------------------
// The machine as avr-gdb sees it

bool ReturnSlotLive(const ReturnSlot& slot) {
  const uint8_t* at = &Machine.data[slot.address];
  return slot.address > StackPointer() && at[0] == uint8_t(slot.target) &&
         at[1] == uint8_t(slot.target >> 8) && at[2] == uint8_t(slot.target >> 16);
}

bool BreakpointAt(uint32_t pc) {
  return pc < kProgramWords && Stub.breakpoints[pc] != 0;
}

uint16_t ProgramWord(uint32_t pc) {
  return uint16_t(Machine.program[2 * pc] | Machine.program[2 * pc + 1] << 8);
}

uint8_t DataView(uint32_t address) {
  if (address == kSregAddress) return ComposeSreg();
  for (int i = 0; i < Stub.return_slot_count; ++i) {
    const ReturnSlot& slot = Stub.return_slots[i];
    if (address >= slot.address && address < slot.address + 3u && ReturnSlotLive(slot)) {
      return Machine.data[slot.address + 2 - (address - slot.address)];
    }
  }
  return Machine.data[address];
}

// One byte at avr-gdb's address; false outside program memory and the data space.
bool ReadTargetByte(uint32_t address, uint8_t* value) {
  if (address < kProgramBytes) {
    *value = Machine.program[address];
    return true;
  }
  if (address >= kDataBase && address < kDataEnd) {
    *value = DataView(address - kDataBase);
    return true;
  }
  return false;
}

void WriteDataByte(uint32_t address, uint8_t value) {
  if (address == kSregAddress) {
    SplitSreg(value);
  } else {
    Machine.data[address] = value;
  }
}

uint32_t ReadRegister(uint32_t number, int* bytes) {
  *bytes = 1;
  if (number < 32) return Machine.data[number];
  if (number == kSregRegister) return ComposeSreg();
  if (number == kSpRegister) {
    *bytes = 2;
    return StackPointer();
  }
  *bytes = 4;
  return Machine.pc * 2;
}

void WriteRegister(uint32_t number, uint32_t value) {
  if (number < 32) {
    Machine.data[number] = uint8_t(value);
  } else if (number == kSregRegister) {
    SplitSreg(uint8_t(value));
  } else if (number == kSpRegister) {
    SetStackPointer(uint16_t(value));
  } else {
    // A pc outside program memory stops the guest with fault 7 at the next step.
    const uint32_t pc = (value & 0x7FFFFF) / 2;
    if (pc == Machine.pc) return;
    // avr-gdb takes a BREAK under one of its breakpoints for a breakpoint of the program's own
    // (BREAK is its breakpoint instruction) and steps over it by moving pc past it. The guest's
    // BREAK is a service call: the service runs when the guest resumes.
    Stub.skipped_service_call =
        pc == Machine.pc + 1 && BreakpointAt(Machine.pc) && ProgramWord(Machine.pc) == kBreakWord;
    Machine.pc = pc;
  }
}

void AppendRegisters(std::string* text) {
  for (uint32_t r = 0; r <= kPcRegister; ++r) {
    int bytes = 0;
    const uint32_t value = ReadRegister(r, &bytes);
    AppendHexLittle(text, value, bytes);
  }
}

// "T05" with SREG, SP and PC, so that avr-gdb needs no further round trip to show where it is.
std::string StopReply(int signal, const char* reason = nullptr, uint32_t address = 0) {
  std::string text = "T";
  AppendHexByte(&text, uint8_t(signal));
  if (reason != nullptr) {
    char part[32];
    snprintf(part, sizeof part, "%s:%x;", reason, address);
    text += part;
  }
  for (uint32_t r = kSregRegister; r <= kPcRegister; ++r) {
    int bytes = 0;
    const uint32_t value = ReadRegister(r, &bytes);
    AppendHexByte(&text, uint8_t(r));
    text += ':';
    AppendHexLittle(&text, value, bytes);
    text += ';';
  }
  return text;
}

// "X0b": the guest ended as a process killed by the signal.
std::string ExitReply(int signal) {
  std::string text = "X";
  AppendHexByte(&text, uint8_t(signal));
  return text;
}

int FaultSignal(uint8_t fault) {
  const bool undefined = fault == kFaultEmptyOpcode || fault == kFaultUndefinedOneOperand ||
                         fault == kFaultUndefinedLoad || fault == kFaultUndefinedStore;
  return undefined ? kSignalIll : kSignalSegv;
}

// ---------------------------------------------------------------------------------------------
// Watched accesses, worked out from the instruction before it runs

uint16_t Pointer(uint32_t low_address) {
  return DataWord(low_address);
}

constexpr uint32_t kX = 0x1A;
constexpr uint32_t kY = 0x1C;
constexpr uint32_t kZ = 0x1E;

// The data accesses the instruction at `w` is about to make; returns their number (at most 2).
// Register operands are not counted; only the instruction's memory operands are.
int PlannedAccesses(InstructionHandler handler, const uint8_t* w, DataAccess* out) {
  struct PointerRow {
    InstructionHandler handler;
    uint32_t pointer;
    int offset;  // -1 for pre-decrement
    bool write;
  };
  static const PointerRow kPointerRows[] = {
      {ExecLD_X, kX, 0, false},    {ExecLD_XINC, kX, 0, false},  {ExecLD_XDEC, kX, -1, false},
      {ExecLD_Y, kY, 0, false},    {ExecLD_YINC, kY, 0, false},  {ExecLD_YDEC, kY, -1, false},
      {ExecLD_ZINC, kZ, 0, false}, {ExecLD_ZDEC, kZ, -1, false}, {ExecST_X, kX, 0, true},
      {ExecST_XINC, kX, 0, true},  {ExecST_XDEC, kX, -1, true},  {ExecST_Y, kY, 0, true},
      {ExecST_YINC, kY, 0, true},  {ExecST_YDEC, kY, -1, true},  {ExecST_ZINC, kZ, 0, true},
      {ExecST_ZDEC, kZ, -1, true},
  };
  for (const PointerRow& row : kPointerRows) {
    if (row.handler != handler) continue;
    out[0] = {uint16_t(Pointer(row.pointer) + row.offset), 1, !row.write, row.write};
    return 1;
  }
  const uint16_t sp = StackPointer();
  if (handler == ExecLDD || handler == ExecSTD) {
    const uint32_t address = Pointer((w[0] & 8) ? kY : kZ) + uint32_t(FieldQ(w));
    out[0] = {address, 1, handler == ExecLDD, handler == ExecSTD};
    return 1;
  }
  if (handler == ExecLDS || handler == ExecSTS) {
    out[0] = {SecondWord(w), 1, handler == ExecLDS, handler == ExecSTS};
    return 1;
  }
  if (handler == ExecXCH || handler == ExecLAS || handler == ExecLAC || handler == ExecLAT) {
    out[0] = {Pointer(kZ), 1, true, true};
    return 1;
  }
  if (handler == ExecPOP) {
    out[0] = {uint16_t(sp + 1), 1, true, false};
    return 1;
  }
  if (handler == ExecPUSH) {
    out[0] = {sp, 1, false, true};
    return 1;
  }
  if (handler == ExecIN || handler == ExecOUT) {
    out[0] = {uint32_t(FieldA6(w)) + 0x20, 1, handler == ExecIN, handler == ExecOUT};
    return 1;
  }
  if (handler == ExecSBI || handler == ExecCBI || handler == ExecSBIC || handler == ExecSBIS) {
    const bool write = handler == ExecSBI || handler == ExecCBI;
    out[0] = {uint32_t(FieldA5(w)) + 0x20, 1, true, write};
    return 1;
  }
  if (handler == ExecCALL || handler == ExecRCALL || handler == ExecICALL ||
      handler == ExecEICALL) {
    // The three bytes at SP-2..SP, wrapping below address 0.
    out[0] = {uint16_t(sp - 2), 3, false, true};
    if (sp < 2) {
      out[0] = {0, uint32_t(sp) + 1, false, true};
      out[1] = {uint32_t(0x10000 - (2 - sp)), uint32_t(2 - sp), false, true};
      return 2;
    }
    return 1;
  }
  if (handler == ExecRET || handler == ExecRETI) {
    out[0] = {uint32_t(sp) + 1, 3, true, false};
    return 1;
  }
  return 0;
}

bool Overlaps(uint32_t start, uint32_t length, const Watchpoint& watch) {
  return start < watch.start + watch.length && watch.start < start + length;
}

bool WatchTakes(const Watchpoint& watch, const DataAccess& access) {
  switch (watch.kind) {
    case kWatchWrite:
      return access.write;
    case kWatchRead:
      return access.read;
    default:
      return access.read || access.write;
  }
}

// Checks the planned accesses against the watchpoints; notes the one met for the stop reply.
bool AccessesHitWatch(const DataAccess* accesses, int count) {
  for (int a = 0; a < count; ++a) {
    for (int i = 0; i < Stub.watchpoint_count; ++i) {
      const Watchpoint& watch = Stub.watchpoints[i];
      if (!WatchTakes(watch, accesses[a]) ||
          !Overlaps(accesses[a].address, accesses[a].length, watch)) {
        continue;
      }
      Stub.watch_kind = watch.kind;
      Stub.watch_address = accesses[a].address > watch.start ? accesses[a].address : watch.start;
      return true;
    }
  }
  return false;
}

void SnapshotWatchedBytes() {
  uint32_t at = 0;
  for (int i = 0; i < Stub.watchpoint_count; ++i) {
    const Watchpoint& watch = Stub.watchpoints[i];
    memcpy(&ServiceSnapshot[at], &Machine.data[watch.start], watch.length);
    at += watch.length;
  }
}

// A service may write anywhere in the data space: a write or access watchpoint whose bytes
// changed is hit. (What a service reads is not seen.)
bool ServiceChangedWatchedBytes() {
  uint32_t at = 0;
  for (int i = 0; i < Stub.watchpoint_count; ++i) {
    const Watchpoint& watch = Stub.watchpoints[i];
    for (uint32_t b = 0; b < watch.length; ++b) {
      if (watch.kind != kWatchRead && ServiceSnapshot[at + b] != Machine.data[watch.start + b]) {
        Stub.watch_kind = watch.kind;
        Stub.watch_address = watch.start + b;
        return true;
      }
    }
    at += watch.length;
  }
  return false;
}

// ---------------------------------------------------------------------------------------------
// Running the guest

void RememberReturnSlot(uint16_t sp_before) {
  if (sp_before < 2) return;  // a wrapped call: its bytes are not where avr-gdb looks
  const uint16_t address = uint16_t(sp_before - 2);
  // Slots at or below the stack pointer belong to calls that have returned.
  while (Stub.return_slot_count > 0 &&
         Stub.return_slots[Stub.return_slot_count - 1].address <= sp_before) {
    --Stub.return_slot_count;
  }
  if (Stub.return_slot_count == kMaxReturnSlots) return;
  const uint8_t* at = &Machine.data[address];
  Stub.return_slots[Stub.return_slot_count++] = {address,
                                                 uint32_t(at[0] | at[1] << 8 | at[2] << 16)};
}

// The service trace's line of each call, on the debugger's console; a trace velmora-run writes
// as well (--trace-services) goes on.
ServiceWatcher OtherServiceWatcher = nullptr;

void TellServiceCall(uint8_t group, uint8_t function) {
  if (OtherServiceWatcher != nullptr) OtherServiceWatcher(group, function);
  SendConsoleOutput(ServiceTraceLine(group, function) + "\n");
}

void TellServiceCalls(bool on) {
  if (on == (ServiceCallWatcher == TellServiceCall)) return;
  if (on) {
    OtherServiceWatcher = ServiceCallWatcher;
    ServiceCallWatcher = TellServiceCall;
  } else {
    ServiceCallWatcher = OtherServiceWatcher;
  }
}

// One instruction with the debugger's checks around it; true when it met a watchpoint.
bool StepWatched() {
  const uint32_t pc = Machine.pc;
  if (pc >= kProgramWords) {
    StepInstruction();  // stops the machine with fault 7
    return false;
  }
  const uint8_t* w = &Machine.program[2 * pc];
  const InstructionHandler handler = ResolveHandler(uint16_t(w[0] | w[1] << 8));
  const bool service = handler == ExecBREAK || handler == ExecWDR;
  DataAccess accesses[2];
  int access_count = 0;
  if (Stub.watchpoint_count > 0) {
    access_count = PlannedAccesses(handler, w, accesses);
    if (service) SnapshotWatchedBytes();
  }
  const uint16_t sp_before = StackPointer();

  StepInstruction();

  const bool call =
      handler == ExecCALL || handler == ExecRCALL || handler == ExecICALL || handler == ExecEICALL;
  if (call && Machine.fault == 0) RememberReturnSlot(sp_before);
  if (Stub.watchpoint_count == 0 || Machine.fault != 0) return false;
  if (AccessesHitWatch(accesses, access_count)) return true;
  return service && ServiceChangedWatchedBytes();
}

// Runs the guest for one instruction or until something stops it.
Stop Resume(bool single_step) {
  bool stepped = false;
  if (Stub.skipped_service_call) {
    Stub.skipped_service_call = false;
    Machine.pc -= 1;
    const bool watched = StepWatched();
    ++Stub.executed;
    stepped = true;
    if (watched) return Machine.quit != 0 ? Stop::kQuit : Stop::kWatch;
  }
  uint32_t countdown = kPollInterval;
  for (;;) {
    if (Machine.fault != 0) return Stop::kFault;
    if (Machine.quit != 0) return Stop::kQuit;
    if (single_step && stepped) return Stop::kStep;
    // Breakpoints count before every instruction, the first of a continue included (avr-gdb
    // steps over its own); a single step always runs its instruction.
    if (!single_step && BreakpointAt(Machine.pc)) return Stop::kBreakpoint;
    if (Stub.max_instructions != 0 && Stub.executed >= Stub.max_instructions) return Stop::kLimit;
    if (--countdown == 0) {
      countdown = kPollInterval;
      if (RunInterrupted != 0) return Stop::kSignal;
      if (TimedOut()) return Stop::kTimeout;
      bool closed = false;
      if (InterruptRequested(&closed)) return Stop::kInterrupt;
      if (closed) return Stop::kClosed;
    }
    const uint16_t word = Machine.pc < kProgramWords ? ProgramWord(Machine.pc) : 0;
    if ((word == kBreakWord || word == kWatchdogWord) && countdown > kHandOverCost) {
      countdown -= kHandOverCost;
    }
    const bool watched = StepWatched();
    ++Stub.executed;
    stepped = true;
    if (watched) return Machine.quit != 0 ? Stop::kQuit : Stop::kWatch;
  }
}

// ---------------------------------------------------------------------------------------------
// Monitor commands

void ResetGuest() {
  CloseAllFileSlots();
  CloseAllSerialSlots();
  ResetFileSlots();
  ClearEventState();
  ResetTimers();
  ResetMachine();
  Stub.return_slot_count = 0;
  Stub.skipped_service_call = false;
}

void MonitorHelp(std::string* out, std::string_view) {
  *out +=
      "monitor fault          the fault code that stopped the guest, and where\n"
      "monitor services on    tell each service call (BREAK): pc, group.function, name, status\n"
      "monitor services off   stop telling them\n"
      "monitor layers         every layer's size and the current layer\n"
      "monitor reset          the guest starts again: machine, files, timers and events reset\n";
}

void MonitorFault(std::string* out, std::string_view) {
  char text[160];
  if (Machine.fault == 0) {
    snprintf(text, sizeof text, "no fault; pc 0x%06X (byte address 0x%06X)\n", Machine.pc,
             Machine.pc * 2);
  } else {
    snprintf(text, sizeof text, "fault %u (%s) at pc 0x%06X (byte address 0x%06X)\n", Machine.fault,
             FaultMeaning(Machine.fault), Machine.pc, Machine.pc * 2);
  }
  *out += text;
}

void MonitorServices(std::string* out, std::string_view argument) {
  if (argument == "on" || argument == "off") {
    TellServiceCalls(argument == "on");
    *out += argument == "on" ? "service calls are told\n" : "service calls are not told\n";
  } else {
    *out += "usage: monitor services on|off\n";
  }
}

void MonitorLayers(std::string* out, std::string_view) {
  char text[96];
  for (uint32_t layer = 0; layer < uint32_t(kLayerCount); ++layer) {
    if (!LayerExists(layer)) continue;
    snprintf(text, sizeof text, "layer %u: %d x %d%s\n", layer, LayerTable[layer].width,
             LayerTable[layer].height, layer == CurrentLayer ? " (current)" : "");
    *out += text;
  }
  snprintf(text, sizeof text, "current layer %u, shown size %d x %d\n", CurrentLayer,
           ScreenSize.width, ScreenSize.height);
  *out += text;
}

void MonitorReset(std::string* out, std::string_view) {
  ResetGuest();
  *out +=
      "guest reset: pc 0, data 0xFF, SP 0xFFFF; files and ports closed, timers and events "
      "cleared\n";
}

struct MonitorRow {
  const char* name;
  void (*run)(std::string* out, std::string_view argument);
};

const MonitorRow kMonitorRows[] = {
    {"help", MonitorHelp},     {"fault", MonitorFault}, {"services", MonitorServices},
    {"layers", MonitorLayers}, {"reset", MonitorReset},
};

void RunMonitorCommand(std::string_view hex) {
  std::string command(hex.size() / 2, '\0');
  if (!ParseHexBytes(hex, reinterpret_cast<uint8_t*>(command.data()), uint32_t(command.size()))) {
    Reply("E01");
    return;
  }
  std::string_view text = command;
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  const size_t space = text.find(' ');
  const std::string_view name = text.substr(0, space);
  std::string_view argument = space == std::string_view::npos ? "" : text.substr(space + 1);
  while (!argument.empty() && argument.front() == ' ') argument.remove_prefix(1);
  std::string out;
  bool known = false;
  for (const MonitorRow& row : kMonitorRows) {
    if (name != row.name) continue;
    row.run(&out, argument);
    known = true;
  }
  if (!known) out = "unknown monitor command '" + std::string(name) + "'; try 'monitor help'\n";
  SendConsoleOutput(out);
  Reply("OK");
}

// ---------------------------------------------------------------------------------------------
// Packets

void PacketQuerySupported(std::string_view) {
  char text[128];
  snprintf(text, sizeof text, "PacketSize=%x;QStartNoAckMode+;vContSupported+", kPacketCapacity);
  Stub.reply = text;
}

void PacketNoAck(std::string_view) {
  Reply("OK");
}

void PacketOk(std::string_view) {
  Reply("OK");
}

void PacketAttached(std::string_view) {
  // The guest was there before the debugger came: avr-gdb detaches when it quits.
  Reply("1");
}

void PacketCurrentThread(std::string_view) {
  Reply("QC1");
}

void PacketFirstThread(std::string_view) {
  Reply("m1");
}

void PacketNextThread(std::string_view) {
  Reply("l");
}

void PacketMonitor(std::string_view args) {
  RunMonitorCommand(args);
}

void PacketStopReason(std::string_view) {
  Stub.reply = Machine.fault != 0 ? StopReply(FaultSignal(Machine.fault)) : StopReply(kSignalTrap);
}

void PacketReadRegisters(std::string_view) {
  Stub.reply.clear();
  AppendRegisters(&Stub.reply);
}

void PacketWriteRegisters(std::string_view args) {
  uint8_t bytes[kRegisterBytes];
  if (!ParseHexBytes(args, bytes, kRegisterBytes)) {
    Reply("E01");
    return;
  }
  for (uint32_t r = 0; r < 32; ++r) WriteRegister(r, bytes[r]);
  WriteRegister(kSregRegister, bytes[32]);
  WriteRegister(kSpRegister, uint32_t(bytes[33] | bytes[34] << 8));
  WriteRegister(kPcRegister,
                uint32_t(bytes[35] | bytes[36] << 8 | bytes[37] << 16 | uint32_t(bytes[38]) << 24));
  Reply("OK");
}

void PacketReadRegister(std::string_view args) {
  uint32_t number = 0;
  if (!ParseHex(args, &number) || number > kPcRegister) {
    Reply("E01");
    return;
  }
  int bytes = 0;
  const uint32_t value = ReadRegister(number, &bytes);
  Stub.reply.clear();
  AppendHexLittle(&Stub.reply, value, bytes);
}

void PacketWriteRegister(std::string_view args) {
  const size_t equals = args.find('=');
  uint32_t number = 0;
  uint8_t bytes[4] = {};
  if (equals == std::string_view::npos || !ParseHex(args.substr(0, equals), &number) ||
      number > kPcRegister) {
    Reply("E01");
    return;
  }
  int size = 0;
  ReadRegister(number, &size);
  if (!ParseHexBytes(args.substr(equals + 1), bytes, uint32_t(size))) {
    Reply("E01");
    return;
  }
  WriteRegister(number,
                uint32_t(bytes[0] | bytes[1] << 8 | bytes[2] << 16 | uint32_t(bytes[3]) << 24));
  Reply("OK");
}

void PacketReadMemory(std::string_view args) {
  uint32_t address = 0;
  uint32_t length = 0;
  std::string_view rest;
  if (!ParseAddressLength(args, 0, &address, &length, &rest)) {
    Reply("E01");
    return;
  }
  // As much as fits in one packet; avr-gdb asks again for the rest.
  if (length > kPacketCapacity / 2) length = kPacketCapacity / 2;
  Stub.reply.clear();
  for (uint32_t i = 0; i < length; ++i) {
    uint8_t value = 0;
    if (address + i < address || !ReadTargetByte(address + i, &value)) break;
    AppendHexByte(&Stub.reply, value);
  }
  // Nothing readable at the address: an error. A read that runs past the end gets what there is.
  if (Stub.reply.empty() && length > 0) Reply("E01");
}

// Data-space writes only: program memory holds the loaded program and stays as it is.
bool WritableRange(uint32_t address, uint32_t length) {
  return address >= kDataBase && address <= kDataEnd && length <= kDataEnd - address;
}

void PacketWriteMemoryHex(std::string_view args) {
  uint32_t address = 0;
  uint32_t length = 0;
  std::string_view data;
  static uint8_t bytes[kPacketCapacity];
  if (!ParseAddressLength(args, ':', &address, &length, &data) || length > kPacketCapacity / 2 ||
      !ParseHexBytes(data, bytes, length)) {
    Reply("E01");
    return;
  }
  if (!WritableRange(address, length)) {
    Reply(length == 0 ? "OK" : "E02");
    return;
  }
  for (uint32_t i = 0; i < length; ++i) WriteDataByte(address - kDataBase + i, bytes[i]);
  Reply("OK");
}

void PacketWriteMemoryBinary(std::string_view args) {
  uint32_t address = 0;
  uint32_t length = 0;
  std::string_view data;
  static uint8_t bytes[kPacketCapacity];
  if (!ParseAddressLength(args, ':', &address, &length, &data) || length > kPacketCapacity) {
    Reply("E01");
    return;
  }
  uint32_t count = 0;
  for (size_t i = 0; i < data.size() && count <= length; ++i) {
    uint8_t byte = uint8_t(data[i]);
    if (byte == '}') {
      if (++i == data.size()) break;
      byte = uint8_t(data[i]) ^ 0x20;
    }
    if (count < length) bytes[count] = byte;
    ++count;
  }
  if (count != length) {
    Reply("E01");
    return;
  }
  if (length == 0) {  // avr-gdb's probe for binary writes
    Reply("OK");
    return;
  }
  if (!WritableRange(address, length)) {
    Reply("E02");
    return;
  }
  for (uint32_t i = 0; i < length; ++i) WriteDataByte(address - kDataBase + i, bytes[i]);
  Reply("OK");
}

// "c[ADDR]", "s[ADDR]", "Csig[;ADDR]", "Ssig[;ADDR]": an address moves pc first.
void ResumeAt(std::string_view address_text, Action action) {
  uint32_t address = 0;
  if (!address_text.empty()) {
    if (!ParseHex(address_text, &address)) {
      Reply("E01");
      return;
    }
    WriteRegister(kPcRegister, address);
  }
  Stub.action = action;
}

void PacketContinue(std::string_view args) {
  ResumeAt(args, Action::kContinue);
}

void PacketStep(std::string_view args) {
  ResumeAt(args, Action::kStep);
}

void PacketContinueSignal(std::string_view args) {
  const size_t semicolon = args.find(';');
  ResumeAt(semicolon == std::string_view::npos ? "" : args.substr(semicolon + 1),
           Action::kContinue);
}

void PacketStepSignal(std::string_view args) {
  const size_t semicolon = args.find(';');
  ResumeAt(semicolon == std::string_view::npos ? "" : args.substr(semicolon + 1), Action::kStep);
}

void PacketContinueActions(std::string_view) {
  Reply("vCont;c;C;s;S");
}

// "vCont;ACTION[:THREAD];...": there is one thread, so a step anywhere in the list steps.
void PacketResumeActions(std::string_view args) {
  Action action = Action::kNone;
  while (!args.empty()) {
    const size_t end = args.find(';');
    const std::string_view item = args.substr(0, end);
    if (!item.empty() && (item[0] == 's' || item[0] == 'S')) action = Action::kStep;
    if (!item.empty() && (item[0] == 'c' || item[0] == 'C') && action == Action::kNone) {
      action = Action::kContinue;
    }
    if (end == std::string_view::npos) break;
    args.remove_prefix(end + 1);
  }
  if (action == Action::kNone) {
    Reply("E01");
  } else {
    Stub.action = action;
  }
}

// "Ztype,addr,kind" and "ztype,addr,kind": breakpoints (0, 1) on program bytes, watchpoints
// (2 write, 3 read, 4 access) on avr-gdb's data addresses.
void ChangePoint(std::string_view args, bool insert) {
  uint32_t address = 0;
  uint32_t length = 0;
  std::string_view rest;
  if (args.size() < 2 || args[1] != ',' || args[0] < '0' || args[0] > '4' ||
      !ParseAddressLength(args.substr(2), 0, &address, &length, &rest)) {
    // A condition list after ';' is not announced, so never sent; anything else is wrong.
    Reply("E01");
    return;
  }
  const int type = args[0] - '0';
  if (type <= 1) {
    if (address >= kProgramBytes || (address & 1) != 0) {
      Reply("E01");
      return;
    }
    uint8_t& count = Stub.breakpoints[address / 2];
    if (insert && count < 255) ++count;
    if (!insert && count > 0) --count;
    Reply("OK");
    return;
  }
  if (address < kDataBase || length == 0 || length > kGuestDataSize ||
      address - kDataBase > kGuestDataSize - length) {
    Reply("E01");
    return;
  }
  const Watchpoint watch = {address - kDataBase, length, uint8_t(type)};
  if (insert) {
    if (Stub.watchpoint_count == kMaxWatchpoints || Stub.watched_bytes + length > kGuestDataSize) {
      Reply("E03");
      return;
    }
    Stub.watchpoints[Stub.watchpoint_count++] = watch;
    Stub.watched_bytes += length;
    Reply("OK");
    return;
  }
  for (int i = 0; i < Stub.watchpoint_count; ++i) {
    Watchpoint& w = Stub.watchpoints[i];
    if (w.start != watch.start || w.length != watch.length || w.kind != watch.kind) continue;
    Stub.watched_bytes -= w.length;
    w = Stub.watchpoints[--Stub.watchpoint_count];
    break;
  }
  Reply("OK");
}

void PacketInsertPoint(std::string_view args) {
  ChangePoint(args, true);
}

void PacketRemovePoint(std::string_view args) {
  ChangePoint(args, false);
}

void PacketDetach(std::string_view) {
  Reply("OK");
  Stub.action = Action::kDetach;
}

void PacketKill(std::string_view) {
  Stub.action = Action::kKill;
}

void PacketKillProcess(std::string_view) {
  Reply("OK");
  Stub.action = Action::kKill;
}

struct PacketRow {
  const char* prefix;
  bool exact;  // the packet is the prefix alone
  void (*handle)(std::string_view args);
};

// First row whose prefix matches; an unknown packet gets the empty reply.
const PacketRow kPacketRows[] = {
    {"qSupported", false, PacketQuerySupported},
    {"QStartNoAckMode", true, PacketNoAck},
    {"qAttached", false, PacketAttached},
    {"qC", true, PacketCurrentThread},
    {"qfThreadInfo", true, PacketFirstThread},
    {"qsThreadInfo", true, PacketNextThread},
    {"qSymbol:", false, PacketOk},
    {"qRcmd,", false, PacketMonitor},
    {"vCont?", true, PacketContinueActions},
    {"vCont;", false, PacketResumeActions},
    {"vKill", false, PacketKillProcess},
    {"?", true, PacketStopReason},
    {"g", true, PacketReadRegisters},
    {"G", false, PacketWriteRegisters},
    {"p", false, PacketReadRegister},
    {"P", false, PacketWriteRegister},
    {"m", false, PacketReadMemory},
    {"M", false, PacketWriteMemoryHex},
    {"X", false, PacketWriteMemoryBinary},
    {"c", false, PacketContinue},
    {"s", false, PacketStep},
    {"C", false, PacketContinueSignal},
    {"S", false, PacketStepSignal},
    {"Z", false, PacketInsertPoint},
    {"z", false, PacketRemovePoint},
    {"H", false, PacketOk},
    {"T", false, PacketOk},
    {"D", false, PacketDetach},
    {"k", true, PacketKill},
};

void HandlePacket(std::string_view packet) {
  Stub.reply.clear();
  Stub.action = Action::kNone;
  for (const PacketRow& row : kPacketRows) {
    const std::string_view prefix = row.prefix;
    if (packet.substr(0, prefix.size()) != prefix) continue;
    if (row.exact && packet.size() != prefix.size()) continue;
    row.handle(packet.substr(prefix.size()));
    return;
  }
}

// ---------------------------------------------------------------------------------------------
// The session

void CloseConnection() {
  PlatformCloseSocket(Stub.connection);
  Stub.connection = kInvalidSocket;
}

// Runs the guest for a step or a continue and answers with the stop. Returns true while the
// session goes on; otherwise `end` says how the run ended.
bool ResumeAndReport(bool single_step, RunEnd* end) {
  if (Machine.fault != 0) {
    // A fault is for good: going on ends the guest like a process killed by its signal.
    SendPacket(ExitReply(FaultSignal(Machine.fault)));
    *end = RunEnd::kFault;
    return false;
  }
  const Stop stop = Resume(single_step);
  std::string reply;
  switch (stop) {
    case Stop::kStep:
    case Stop::kBreakpoint:
      reply = StopReply(kSignalTrap);
      break;
    case Stop::kWatch: {
      const uint8_t kind = Stub.watch_kind;
      const char* reason = kind == kWatchWrite ? "watch" : kind == kWatchRead ? "rwatch" : "awatch";
      reply = StopReply(kSignalTrap, reason, kDataBase + Stub.watch_address);
      break;
    }
    case Stop::kInterrupt:
      reply = StopReply(kSignalInt);
      break;
    case Stop::kFault:
      reply = StopReply(FaultSignal(Machine.fault));
      break;
    case Stop::kQuit:
      SendPacket("W00");
      *end = RunEnd::kQuit;
      return false;
    case Stop::kLimit:
    case Stop::kTimeout:
      SendPacket(ExitReply(kSignalKill));
      *end = stop == Stop::kLimit ? RunEnd::kLimit : RunEnd::kTimeout;
      return false;
    case Stop::kSignal:
      SendPacket(ExitReply(kSignalInt));
      *end = RunEnd::kInterrupted;
      return false;
    case Stop::kClosed:
      Note("the debugger's connection was lost while the guest ran; the run ends");
      *end = RunEnd::kKilled;
      return false;
  }
  if (SendPacket(reply)) return true;
  Note("the debugger's connection was lost; the run ends");
  *end = RunEnd::kKilled;
  return false;
}

// Serves the connected debugger; returns how the run ended, or sets `detached`.
RunEnd Serve(bool* detached) {
  *detached = false;
  for (;;) {
    const PacketRead read = ReadPacket();
    if (read == PacketRead::kClosed) {
      Note("the debugger's connection closed without a detach; the run ends");
      return RunEnd::kKilled;
    }
    if (read == PacketRead::kInterrupted) return RunEnd::kInterrupted;
    if (read == PacketRead::kTimedOut) return RunEnd::kTimeout;
    HandlePacket(std::string_view(Stub.packet, Stub.packet_length));
    RunEnd end = RunEnd::kKilled;
    switch (Stub.action) {
      case Action::kNone:
        if (!SendPacket(Stub.reply)) {
          Note("the debugger's connection was lost; the run ends");
          return RunEnd::kKilled;
        }
        if (Stub.packet_length == 15 && strcmp(Stub.packet, "QStartNoAckMode") == 0) {
          Stub.no_ack = true;
        }
        break;
      case Action::kStep:
      case Action::kContinue:
        if (!ResumeAndReport(Stub.action == Action::kStep, &end)) return end;
        break;
      case Action::kDetach:
        SendPacket(Stub.reply);
        *detached = true;
        return RunEnd::kQuit;
      case Action::kKill:
        if (!Stub.reply.empty()) SendPacket(Stub.reply);
        Note("the debugger killed the run");
        return RunEnd::kKilled;
    }
  }
}

}  // namespace

bool ListenForDebugger(uint16_t port) {
  uint16_t bound = 0;
  Stub.listener = PlatformListenLoopback(port, &bound);
  if (Stub.listener == kInvalidSocket) {
    Note("cannot listen for the debugger on 127.0.0.1:%u", port);
    return false;
  }
  Note("waiting for avr-gdb on 127.0.0.1:%u (target remote :%u)", bound, bound);
  return true;
}

RunReport RunUnderDebugger(uint64_t max_instructions, double timeout_seconds) {
  Stub.start = std::chrono::steady_clock::now();
  Stub.executed = 0;
  Stub.max_instructions = max_instructions;
  Stub.timeout_seconds = timeout_seconds;
  Stub.no_ack = false;
  Stub.input_at = Stub.input_length = 0;
  memset(Stub.breakpoints, 0, sizeof Stub.breakpoints);
  Stub.watchpoint_count = 0;
  Stub.watched_bytes = 0;
  Stub.return_slot_count = 0;
  Stub.skipped_service_call = false;

  RunReport report = {RunEnd::kKilled, 0, 0.0};
  bool detached = false;
  for (;;) {
    if (RunInterrupted != 0) {
      report.end = RunEnd::kInterrupted;
      break;
    }
    if (TimedOut()) {
      report.end = RunEnd::kTimeout;
      break;
    }
    if (!PlatformAcceptConnection(Stub.listener, kWaitSlice, &Stub.connection)) {
      Note("waiting for the debugger failed; the run ends");
      break;
    }
    if (Stub.connection == kInvalidSocket) continue;
    // One debugger per run.
    PlatformCloseSocket(Stub.listener);
    Stub.listener = kInvalidSocket;
    report.end = Serve(&detached);
    TellServiceCalls(false);
    CloseConnection();
    break;
  }
  PlatformCloseSocket(Stub.listener);
  Stub.listener = kInvalidSocket;
  report.instructions = Stub.executed;
  if (detached) {
    // The limits go on counting from the start.
    uint64_t remaining = 0;
    if (max_instructions != 0) {
      remaining = max_instructions > Stub.executed ? max_instructions - Stub.executed : 0;
    }
    double time_left = 0;
    if (timeout_seconds > 0) {
      time_left = timeout_seconds - SecondsSinceStart();
      if (time_left <= 0) time_left = 1e-9;
    }
    if (max_instructions != 0 && remaining == 0) {
      report.end = RunEnd::kLimit;
    } else {
      const RunReport rest = RunHost(remaining, time_left, nullptr);
      report.end = rest.end;
      report.instructions += rest.instructions;
    }
  }
  report.seconds = SecondsSinceStart();
  return report;
}

bool DebuggerPortFromEnvironment(uint16_t* port) {
  const char* text = getenv("VELMORA_GDB");
  if (text == nullptr) return false;
  char* end = nullptr;
  const unsigned long value = strtoul(text, &end, 10);
  if (*text < '0' || *text > '9' || *end != '\0' || value > 65535) {
    Note("VELMORA_GDB=%s is no port (1 to 65535, or 0 for a free one); no debugger", text);
    return false;
  }
  *port = uint16_t(value);
  return true;
}

}  // namespace velmora
