// Group 3: canvas, drawing, text and image services.
#pragma once

#include <cstdint>
#include <span>

#include "services/gate.h"

namespace velmora {

std::span<const ServiceRow> CanvasServiceRows();
std::span<const ServiceRow> DrawingServiceRows();
std::span<const ServiceRow> TextServiceRows();
std::span<const ServiceRow> ImageServiceRows();

// Noise over a rectangle larger than this draws random values only for the pixels inside the
// clip, so that its work stays bounded; smaller rectangles draw one value for every pixel.
constexpr int64_t kNoiseFullDrawLimit = int64_t(1) << 20;

}  // namespace velmora
