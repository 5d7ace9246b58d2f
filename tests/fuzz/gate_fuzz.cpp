// The service gate: an input becomes a few guest memory regions and a short sequence of service
// calls, every group and function reachable, on a host started as for a run (host_fixture.h): a
// sandbox with a quota, a small layer budget, loopback ports.
//
// Input: a byte whose low two bits count the regions; per region a 16-bit address, a length
// byte and that many bytes; then per call a group byte (taken modulo 16, so 14 and 15 stand for
// every group beyond the table), a function byte, a byte whose value modulo 17 counts the
// argument bytes that follow for 0x60 upward (the rest keep what earlier calls left).
//
// After every call: pc one further, the flags as they were, no fault, the group byte cleared
// (or kept, beyond the table), the status byte one of the codes the called service documents (or
// untouched by a service that reports none). After every input: program memory unchanged,
// nothing beside the sandbox touched, no descriptor leaked, layer memory within its budget.
#include <cstring>
#include <initializer_list>

#include "core/hostcall.h"
#include "host_fixture.h"
#include "services/gate.h"

namespace velmora::fuzz {
namespace {

constexpr uint8_t kUnsetStatus = 0xA7;  // no service reports this
constexpr int kMaxCalls = 32;
constexpr uint32_t kCallPc = 0x100;

struct StatusRule {
  uint8_t group, first, last;
  std::initializer_list<uint8_t> codes;
  bool always;  // the service writes a status on every path
};

// Every code a host operation leaves in HostError: files, serial ports, layers.
constexpr std::initializer_list<uint8_t> kAnyHostError = {
    0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 106, 255};

// A launch answers the platform's error (0 to 31) + 1, or 0.
constexpr std::initializer_list<uint8_t> kLaunchStatus = {
    0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16,
    17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32};

// The statuses each family of services reports, from the service reference.
const StatusRule kStatusRules[] = {
    {3, 36, 37, {0, 1}, true},                 // fonts
    {3, 39, 39, {0}, true},                    // measure text
    {3, 66, 69, {0, 1, 2, 3, 5, 6, 8}, true},  // images
    {3, 77, 77, {0, 1, 2, 3, 5, 6, 8}, true},  //
    {3, 73, 74, {0, 1, 2}, true},              // layers
    {3, 75, 75, kAnyHostError, true},          // repeats the last host status
    {7, 32, 37, {0}, false},                   // keyboard
    {7, 71, 72, {0}, false},                   //
    {7, 105, 105, {0}, false},                 //
    {7, 38, 39, {0, 1}, false},                // key injection
    {7, 65, 65, {0, 1}, false},                // message box
    {7, 95, 95, {0, 1}, true},                 // timers
    {7, 104, 104, kLaunchStatus, false},       // launch: the platform's error + 1
    {7, 106, 107, kAnyHostError, false},       // key combination: repeats the last host status
    {7, 40, 64, {0, 1, 2, 3, 4, 5, 7, 8, 9, 10, 11, 12, 13, 14, 255}, true},  // files
    {7, 68, 69, {0, 1, 2, 3}, true},                                          //
    {7, 98, 103, {0, 1, 2, 7, 8, 255}, true},                                 //
    {7, 73, 91, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18}, true},
    {7, 108, 108, {0, 1, 9, 255}, true},  // serial
};

const StatusRule* RuleFor(uint8_t group, uint8_t function) {
  for (const StatusRule& rule : kStatusRules) {
    if (rule.group == group && function >= rule.first && function <= rule.last) return &rule;
  }
  return nullptr;
}

// Services that report nothing may still write the status byte through a pointer argument (a
// string or buffer that starts at or below it). Any argument word could be such a pointer.
bool ArgumentMayPointAtStatus() {
  for (uint32_t at = kArgumentAddress; at < kArgumentAddress + 16; ++at) {
    if (GuestWord(at) <= kStatusAddress) return true;
  }
  return false;
}

// Services that write their status first and results at pointers after: measure text (W, H at
// 0x60, 0x62), image size (0x62, 0x64), modem lines (0x61, 0x63, 0x65).
bool ResultPointerAtStatus(uint8_t group, uint8_t function) {
  struct PointerArguments {
    uint8_t group, function;
    uint32_t at[3];
  };
  static constexpr PointerArguments kPointers[] = {
      {3, 39, {0x60, 0x62, 0}}, {3, 69, {0x62, 0x64, 0}}, {7, 83, {0x61, 0x63, 0x65}}};
  for (const PointerArguments& entry : kPointers) {
    if (entry.group != group || entry.function != function) continue;
    for (uint32_t at : entry.at) {
      if (at == 0) continue;
      const uint16_t pointer = GuestWord(at);
      if (pointer <= kStatusAddress && pointer + 2 > kStatusAddress) return true;
    }
  }
  return false;
}

void CheckStatus(uint8_t group, uint8_t function, bool may_alias) {
  const uint8_t status = Machine.data[kStatusAddress];
  const StatusRule* rule = RuleFor(group, function);
  if (rule == nullptr) {
    FUZZ_CHECK(status == kUnsetStatus || may_alias, "a service without a status wrote one");
    return;
  }
  if (ResultPointerAtStatus(group, function)) return;
  if (status == kUnsetStatus && !rule->always) return;
  if (OneOf(status, rule->codes)) return;
  fprintf(stderr, "group %u function %u status %u\n", group, function, status);
  FUZZ_CHECK(false, "a status outside the service's codes");
}

}  // namespace
}  // namespace velmora::fuzz

using namespace velmora;
using namespace velmora::fuzz;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  StartFuzzHost();
  WarmUpFuzzHost();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ResetFuzzHost();
  static uint8_t program[kProgramBytes];
  memcpy(program, Machine.program, kProgramBytes);

  size_t at = 0;
  const auto next = [&]() -> uint8_t { return at < size ? data[at++] : 0; };
  const int regions = next() & 3;
  for (int r = 0; r < regions && at < size; ++r) {
    const uint16_t address = uint16_t(next() | next() << 8);
    const int length = next();
    for (int i = 0; i < length && at < size; ++i) Machine.data[uint16_t(address + i)] = next();
  }

  for (int call = 0; call < kMaxCalls && at < size; ++call) {
    const uint8_t group = next() % 16;
    const uint8_t function = next();
    const int arguments = next() % 17;
    for (int i = 0; i < arguments; ++i) Machine.data[kArgumentAddress + i] = next();
    Machine.pc = kCallPc;
    Machine.data[kStatusAddress] = kUnsetStatus;
    Machine.data[kGroupAddress] = group;
    Machine.data[kFunctionAddress] = function;
    const bool may_alias = ArgumentMayPointAtStatus();
    StatusFlags flags = Machine.flags;

    ServiceCall();

    FUZZ_CHECK(Machine.pc == kCallPc + 1, "the gate did not step past BREAK");
    FUZZ_CHECK(memcmp(&flags, &Machine.flags, sizeof flags) == 0, "a service changed the flags");
    FUZZ_CHECK(Machine.fault == 0, "a service stopped the machine");
    FUZZ_CHECK(Machine.data[kGroupAddress] == (group < kServiceGroups ? 0 : group),
               "the group byte");
    if (group < kServiceGroups) CheckStatus(group, function, may_alias);
    FUZZ_CHECK(LayerMemoryInUse <= LayerMemoryBudget, "layer memory beyond the budget");
    if (Machine.quit) break;  // the run would end here
  }
  FUZZ_CHECK(memcmp(program, Machine.program, kProgramBytes) == 0,
             "a service wrote program memory");
  EndFuzzInput();
  return 0;
}
