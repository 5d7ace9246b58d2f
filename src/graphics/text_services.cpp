// Group 3 text services, functions 36 to 41.
#include <string>

#include "graphics/graphics_services.h"
#include "graphics/text.h"
#include "services/gate.h"
#include "services/guest.h"
#include "services/status.h"

namespace velmora {
namespace {

// 36: built-in font and spacing; a font above 7 falls back to font 0 with spacing 1.
void ServiceSelectBuiltinFont() {
  const uint16_t font = GuestWord(kArgumentAddress);
  SystemFontMode = 0;
  if (font < kBuiltinFontCount) {
    BuiltinFont = font;
    CharSpacing = GuestInt16(kArgumentAddress + 2);
    SetStatus(0);
  } else {
    BuiltinFont = 0;
    CharSpacing = 1;
    SetStatus(1);
  }
}

// 37: a system font into a slot; status 1 when only the fallback font could be had.
void ServiceCreateFont() {
  const std::string face(GuestString(GuestWord(kArgumentAddress + 7)));
  SetStatus(
      CreateSlotFont(GuestByte(kArgumentAddress), face.c_str(), GuestWord(kArgumentAddress + 1),
                     GuestByte(kArgumentAddress + 3) != 0, GuestByte(kArgumentAddress + 4) != 0,
                     GuestByte(kArgumentAddress + 5) != 0, GuestByte(kArgumentAddress + 6) != 0));
}

// 38: system-font text from a slot.
void ServiceSelectFontSlot() {
  SystemFontMode = 1;
  FontSlot = GuestByte(kArgumentAddress);
}

// 39: measures a string; the width goes to W first, then the height to H.
void ServiceMeasureText() {
  const uint16_t width_address = GuestWord(kArgumentAddress),
                 height_address = GuestWord(kArgumentAddress + 2);
  const Size size = MeasureText(GuestString(GuestWord(kArgumentAddress + 4)));
  SetStatus(0);
  SetGuestWord(width_address, uint16_t(size.width));
  SetGuestWord(height_address, uint16_t(size.height));
}

// 40: draws a string; returns the x after it (built-in) or the y below it (system font).
void ServiceDrawText() {
  const int32_t end = DrawTextAt(GuestInt16(kArgumentAddress), GuestInt16(kArgumentAddress + 2),
                                 GuestString(GuestWord(kArgumentAddress + 4)));
  SetGuestWord(kArgumentAddress, uint16_t(end));
}

// 41: draws a string centred between x1 and x2.
void ServiceDrawCentredText() {
  const int32_t x1 = GuestInt16(kArgumentAddress), x2 = GuestInt16(kArgumentAddress + 2);
  const std::string_view text = GuestString(GuestWord(kArgumentAddress + 6));
  const int32_t lo = x1 < x2 ? x1 : x2, hi = x1 < x2 ? x2 : x1;
  const int32_t x = lo + (hi - lo) / 2 - MeasureText(text).width / 2;
  DrawTextAt(x, GuestInt16(kArgumentAddress + 4), text);
}

const ServiceRow kTextServices[] = {
    {3, 36, ServiceSelectBuiltinFont, "select builtin font"},
    {3, 37, ServiceCreateFont, "create font"},
    {3, 38, ServiceSelectFontSlot, "select font slot"},
    {3, 39, ServiceMeasureText, "measure text"},
    {3, 40, ServiceDrawText, "draw text"},
    {3, 41, ServiceDrawCentredText, "draw centred text"},
};

}  // namespace

std::span<const ServiceRow> TextServiceRows() {
  return kTextServices;
}

}  // namespace velmora
