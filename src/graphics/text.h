// Text output in the eight built-in bitmap fonts or in system fonts.
#pragma once

#include <cstdint>
#include <string_view>

namespace velmora {

// 1: text uses the system font of FontSlot; 0: the built-in font BuiltinFont.
extern uint8_t SystemFontMode;

// Draws `text` at (x, y) in TextColour; returns the x after the text (built-in fonts) or y plus
// the height of the drawn text (system fonts).
int32_t DrawTextAt(int32_t x, int32_t y, std::string_view text);

}  // namespace velmora
