// Group 7's file, directory and serial port services.
#pragma once

#include <span>

#include "services/gate.h"

namespace velmora {

std::span<const ServiceRow> FileServiceRows();
std::span<const ServiceRow> SerialServiceRows();

}  // namespace velmora
