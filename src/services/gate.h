// The service gate: BREAK selects a service by the group byte (0x48) and the function byte
// (0x49); arguments and results live from 0x60.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace velmora {

// A service takes everything from the service block and guest memory and returns nothing.
using ServiceProc = void (*)();

constexpr int kServiceGroups = 14;
constexpr int kGraphicsFunctions = 80;    // group 3
constexpr int kStringFunctions = 39;      // group 5
constexpr int kSystemFunctions = 109;     // group 7
constexpr int kArithmeticFunctions = 29;  // group 9

// Groups 2, 11, 12 and 13 run one service whatever the function byte says; their rows name
// this function.
constexpr uint8_t kAnyFunction = 0xFF;

// One service, declared once by the subsystem that owns it. The name is what the service trace
// prints.
struct ServiceRow {
  uint8_t group;
  uint8_t function;
  ServiceProc procedure;
  const char* name;
};

// Every table starts empty: each group and function does nothing until a row fills it.
void ClearServiceTables();
// Puts the rows into the tables. A row that claims a taken entry, a group or function outside
// the tables, or function 0 of a table, is refused: false, with the reason in `problem`.
bool InstallServices(std::span<const ServiceRow> rows, std::string* problem);
// The name of the service at a group and function, or nullptr where there is none.
const char* ServiceName(uint8_t group, uint8_t function);

// Runs one service as BREAK would (group and function bytes set, group byte cleared after a
// call to an existing group), without touching pc.
void CallService(uint8_t group, uint8_t function);

// Called after every call to an existing group, with the group and function bytes the call
// was made with; nullptr (the default) costs one test per call.
using ServiceWatcher = void (*)(uint8_t group, uint8_t function);
extern ServiceWatcher ServiceCallWatcher;
// When set, runs once before the next service call and is cleared: the host draws its boot report
// there, the last moment before a service could draw on the screen or read it.
extern void (*BeforeNextService)();

}  // namespace velmora
