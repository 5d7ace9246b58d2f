// Text output in the eight built-in bitmap fonts or in system fonts, on the current layer, in
// TextColour, under the clip, without a background.
#pragma once

#include <cstdint>
#include <string_view>

#include "graphics/canvas.h"
#include "graphics/fonts.h"
#include "platform/platform.h"

namespace velmora {

// 1: text uses the system font of FontSlot; 0: the built-in font BuiltinFont.
extern uint8_t SystemFontMode;
extern uint8_t FontSlot;
extern uint32_t BuiltinFont;  // 0-7
extern int32_t CharSpacing;   // extra pixels after every built-in glyph; may be negative

constexpr int kFontSlotCount = 256;

// A system font in a slot. Every slot starts with the shared fixed-pitch system font; a font
// created into a slot belongs to it and is released when it is replaced.
struct FontSlotEntry {
  PlatformFont font;
  bool underline, strikeout;
};
extern FontSlotEntry FontSlots[kFontSlotCount];

// Fills every slot with the fixed-pitch system font. CreateCanvas may call it; otherwise the first
// system-font text or font creation does. DestroyCanvas is where ReleaseFontSlots belongs: it
// releases every font, and the next system-font text creates the slots afresh.
void CreateFontSlots();
void ReleaseFontSlots();
// The system font the slots were filled with; kNoFont while there are no slots.
PlatformFont SlotSystemFont();

// Creates a font into `slot` from a face name (a missing name takes the nearest face), a cell
// height (0: default) and the style bits. Returns 0, or 1 when only the fallback font could be
// had.
uint8_t CreateSlotFont(uint8_t slot, const char* face, uint16_t height, bool bold, bool italic,
                       bool underline, bool strikeout);

// Draws one built-in glyph with its top-left pixel at (x, y); returns its width, or 0 when
// nothing was drawn (past the right or bottom edge of ScreenSize, or an empty glyph).
int32_t DrawGlyph(int32_t x, int32_t y, const GlyphTable& table, uint8_t code);

// Draws `text` at (x, y) in TextColour; returns the x after the text (built-in fonts) or y plus
// the height of the drawn text (system fonts).
int32_t DrawTextAt(int32_t x, int32_t y, std::string_view text);

// The extent `text` would take in the current mode.
Size MeasureText(std::string_view text);

}  // namespace velmora
