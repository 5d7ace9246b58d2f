#include "services/gate.h"

#include "core/hostcall.h"
#include "core/machine.h"
#include "services/status.h"

namespace velmora {

uint32_t HostError = 0;

ServiceProc ServiceGroupTable[kServiceGroups];
ServiceProc GraphicsTable[kGraphicsFunctions];
ServiceProc StringTable[kStringFunctions];
ServiceProc SystemTable[kSystemFunctions];
ServiceProc ArithmeticTable[kArithmeticFunctions];

namespace {

void DoNothing() {}

template <int N>
void Dispatch(ServiceProc (&table)[N]) {
  const uint8_t function = Machine.data[kFunctionAddress];
  if (function < N) table[function]();
}

void DispatchGraphics() { Dispatch(GraphicsTable); }
void DispatchStrings() { Dispatch(StringTable); }
void DispatchSystem() { Dispatch(SystemTable); }
void DispatchArithmetic() { Dispatch(ArithmeticTable); }

template <int N>
void Clear(ServiceProc (&table)[N]) {
  for (ServiceProc& entry : table) entry = DoNothing;
}

}  // namespace

void InitServiceTables() {
  Clear(ServiceGroupTable);
  Clear(GraphicsTable);
  Clear(StringTable);
  Clear(SystemTable);
  Clear(ArithmeticTable);
  // Groups 0, 1, 4, 6, 8 and 10 have no service: a call clears the group byte and nothing else.
  ServiceGroupTable[2] = ServiceYield;
  ServiceGroupTable[3] = DispatchGraphics;
  ServiceGroupTable[5] = DispatchStrings;
  ServiceGroupTable[7] = DispatchSystem;
  ServiceGroupTable[9] = DispatchArithmetic;
  ServiceGroupTable[11] = ServiceFetchEvent;
  ServiceGroupTable[12] = ServiceEventsOn;
  ServiceGroupTable[13] = ServiceEventsOff;
  FillArithmeticServices(ArithmeticTable);
  FillCanvasServices(GraphicsTable);
  FillDrawingServices(GraphicsTable);
  FillTextServices(GraphicsTable);
  FillImageServices(GraphicsTable);
  FillStringServices(StringTable);
  FillSystemServices(SystemTable);
  FillEventServices(SystemTable);
  FillFileServices(SystemTable);
  FillSerialServices(SystemTable);
  // Function 0 of every table does nothing, whatever a subsystem put there.
  GraphicsTable[0] = StringTable[0] = SystemTable[0] = ArithmeticTable[0] = DoNothing;
}

void ServiceCall() {
  if (ServiceGroupTable[0] == nullptr) InitServiceTables();
  const uint8_t group = Machine.data[kGroupAddress];
  if (group < kServiceGroups) {
    ServiceGroupTable[group]();
    Machine.data[kGroupAddress] = 0;
  }
  Machine.pc += 1;
}

}  // namespace velmora
