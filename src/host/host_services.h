// The host's own services: time, window, keyboard, cursor and dialogs (group 7), the window's
// share of group 3, events and timers (groups 2, 7, 11-13).
#pragma once

#include <span>
#include <string>

#include "services/gate.h"

namespace velmora {

std::span<const ServiceRow> SystemServiceRows();
std::span<const ServiceRow> EventServiceRows();
std::span<const ServiceRow> WindowServiceRows();
std::span<const ServiceRow> KeyboardServiceRows();
std::span<const ServiceRow> DialogServiceRows();

// Fills the service tables from every subsystem's rows. False, with the reason, when two rows
// claim one group and function or a row lies outside the tables.
bool InstallServiceTables(std::string* problem);
// The same at start-up: a conflict between rows is a fault of the build itself, reported on
// stderr, and the process ends with status 70.
void InstallAllServices();

}  // namespace velmora
