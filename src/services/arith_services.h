// Group 9: integer and floating-point arithmetic and random numbers.
#pragma once

#include <span>

#include "services/gate.h"

namespace velmora {

std::span<const ServiceRow> ArithmeticServiceRows();

}  // namespace velmora
