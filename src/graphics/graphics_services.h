// Group 3: canvas, drawing, text and image services.
#pragma once

#include <span>

#include "services/gate.h"

namespace velmora {

std::span<const ServiceRow> CanvasServiceRows();
std::span<const ServiceRow> DrawingServiceRows();
std::span<const ServiceRow> TextServiceRows();
std::span<const ServiceRow> ImageServiceRows();

}  // namespace velmora
