// Group 5: the string services.
#pragma once

#include <span>

#include "services/gate.h"

namespace velmora {

std::span<const ServiceRow> StringServiceRows();

}  // namespace velmora
