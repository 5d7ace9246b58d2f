// The service gate: BREAK selects a service by the group byte (0x48) and the function byte
// (0x49); arguments and results live from 0x60.
#pragma once

#include <cstdint>

namespace velmora {

// A service takes everything from the service block and guest memory and returns nothing.
using ServiceProc = void (*)();

constexpr int kServiceGroups = 14;
constexpr int kGraphicsFunctions = 80;  // group 3
constexpr int kStringFunctions = 39;    // group 5
constexpr int kSystemFunctions = 109;   // group 7
constexpr int kArithmeticFunctions = 29;  // group 9

extern ServiceProc ServiceGroupTable[kServiceGroups];
extern ServiceProc GraphicsTable[kGraphicsFunctions];
extern ServiceProc StringTable[kStringFunctions];
extern ServiceProc SystemTable[kSystemFunctions];
extern ServiceProc ArithmeticTable[kArithmeticFunctions];

// Fills every table once, at start-up; entries without a service do nothing.
void InitServiceTables();

// Each subsystem puts its services into the function tables it shares.
void FillArithmeticServices(ServiceProc* group9);
void FillCanvasServices(ServiceProc* group3);
void FillDrawingServices(ServiceProc* group3);
void FillTextServices(ServiceProc* group3);
void FillImageServices(ServiceProc* group3);
void FillStringServices(ServiceProc* group5);
void FillSystemServices(ServiceProc* group7);
void FillEventServices(ServiceProc* group7);
void FillFileServices(ServiceProc* group7);
void FillSerialServices(ServiceProc* group7);

// Whole-group services: yield (2), fetch event (11), events on (12) and off (13).
void ServiceYield();
void ServiceFetchEvent();
void ServiceEventsOn();
void ServiceEventsOff();

}  // namespace velmora
