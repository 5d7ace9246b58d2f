#include "graphics/text.h"

namespace velmora {

uint8_t SystemFontMode = 0;

int32_t DrawTextAt(int32_t x, int32_t /*y*/, std::string_view /*text*/) { return x; }

}  // namespace velmora
