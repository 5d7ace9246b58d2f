#include "services/gate.h"

#include <array>
#include <cstdio>

#include "core/hostcall.h"
#include "core/machine.h"
#include "services/status.h"

namespace velmora {

uint32_t HostError = 0;
ServiceWatcher ServiceCallWatcher = nullptr;
void (*BeforeNextService)() = nullptr;

namespace {

void DoNothing() {}

template <int N>
struct FunctionTable {
  std::array<ServiceProc, N> procedures;
  std::array<const char*, N> names;
};

template <int N>
constexpr FunctionTable<N> EmptyTable() {
  FunctionTable<N> table{};
  table.procedures.fill(DoNothing);
  return table;
}

FunctionTable<kGraphicsFunctions> GraphicsTable = EmptyTable<kGraphicsFunctions>();
FunctionTable<kStringFunctions> StringTable = EmptyTable<kStringFunctions>();
FunctionTable<kSystemFunctions> SystemServiceTable = EmptyTable<kSystemFunctions>();
FunctionTable<kArithmeticFunctions> ArithmeticTable = EmptyTable<kArithmeticFunctions>();

template <int N>
void Dispatch(const FunctionTable<N>& table) {
  const uint8_t function = Machine.data[kFunctionAddress];
  if (function < N) table.procedures[function]();
}

void DispatchGraphics() {
  Dispatch(GraphicsTable);
}
void DispatchStrings() {
  Dispatch(StringTable);
}
void DispatchSystem() {
  Dispatch(SystemServiceTable);
}
void DispatchArithmetic() {
  Dispatch(ArithmeticTable);
}

// Groups with a function table dispatch through it; the others run their one service.
constexpr std::array<ServiceProc, kServiceGroups> kEmptyGroups = {
    DoNothing,       DoNothing, DoNothing,      DispatchGraphics, DoNothing,
    DispatchStrings, DoNothing, DispatchSystem, DoNothing,        DispatchArithmetic,
    DoNothing,       DoNothing, DoNothing,      DoNothing};
std::array<ServiceProc, kServiceGroups> ServiceGroupTable = kEmptyGroups;
std::array<const char*, kServiceGroups> GroupNames{};

// The function table of a group, as a view, or an empty one for groups without a table.
struct TableView {
  ServiceProc* procedures;
  const char** names;
  int size;
};

template <int N>
TableView View(FunctionTable<N>& table) {
  return {table.procedures.data(), table.names.data(), N};
}

TableView TableOf(uint8_t group) {
  switch (group) {
    case 3:
      return View(GraphicsTable);
    case 5:
      return View(StringTable);
    case 7:
      return View(SystemServiceTable);
    case 9:
      return View(ArithmeticTable);
    default:
      return {nullptr, nullptr, 0};
  }
}

std::string Describe(const ServiceRow& row, const char* why) {
  char text[160];
  std::snprintf(text, sizeof text, "service row %u.%u \"%s\": %s", row.group, row.function,
                row.name ? row.name : "", why);
  return text;
}

}  // namespace

void ClearServiceTables() {
  GraphicsTable = EmptyTable<kGraphicsFunctions>();
  StringTable = EmptyTable<kStringFunctions>();
  SystemServiceTable = EmptyTable<kSystemFunctions>();
  ArithmeticTable = EmptyTable<kArithmeticFunctions>();
  ServiceGroupTable = kEmptyGroups;
  GroupNames.fill(nullptr);
}

bool InstallServices(std::span<const ServiceRow> rows, std::string* problem) {
  for (const ServiceRow& row : rows) {
    if (row.procedure == nullptr || row.name == nullptr) {
      *problem = Describe(row, "no procedure or no name");
      return false;
    }
    if (row.group >= kServiceGroups) {
      *problem = Describe(row, "no such group");
      return false;
    }
    const TableView table = TableOf(row.group);
    if (table.size == 0) {
      if (row.function != kAnyFunction) {
        *problem = Describe(row, "this group has no function table");
        return false;
      }
      if (GroupNames[row.group] != nullptr) {
        *problem = Describe(row, "the group already has a service");
        return false;
      }
      ServiceGroupTable[row.group] = row.procedure;
      GroupNames[row.group] = row.name;
      continue;
    }
    if (row.function == 0 || row.function >= table.size) {
      *problem = Describe(row, "no such function (function 0 always does nothing)");
      return false;
    }
    if (table.names[row.function] != nullptr) {
      *problem = Describe(row, "already taken") + " by \"" + table.names[row.function] + "\"";
      return false;
    }
    table.procedures[row.function] = row.procedure;
    table.names[row.function] = row.name;
  }
  return true;
}

const char* ServiceName(uint8_t group, uint8_t function) {
  if (group >= kServiceGroups) return nullptr;
  const TableView table = TableOf(group);
  if (table.size == 0) return GroupNames[group];
  return function < table.size ? table.names[function] : nullptr;
}

void CallService(uint8_t group, uint8_t function) {
  Machine.data[kGroupAddress] = group;
  Machine.data[kFunctionAddress] = function;
  const uint32_t pc = Machine.pc;
  ServiceCall();
  Machine.pc = pc;
}

void ServiceCall() {
  if (BeforeNextService != nullptr) {
    void (*before)() = BeforeNextService;
    BeforeNextService = nullptr;
    before();
  }
  const uint8_t group = Machine.data[kGroupAddress];
  if (group < kServiceGroups) {
    const uint8_t function = Machine.data[kFunctionAddress];
    ServiceGroupTable[group]();
    Machine.data[kGroupAddress] = 0;
    if (ServiceCallWatcher) ServiceCallWatcher(group, function);
  }
  Machine.pc += 1;
}

}  // namespace velmora
