// Group 3 text services, functions 36 to 41.
#include <string>

#include "graphics/text.h"
#include "services/gate.h"
#include "services/guest.h"
#include "services/status.h"

namespace velmora {
namespace {

constexpr uint32_t kArgs = 0x60;

// 36: built-in font and spacing; a font above 7 falls back to font 0 with spacing 1.
void ServiceSelectBuiltinFont() {
  const uint16_t font = GuestWord(kArgs);
  SystemFontMode = 0;
  if (font < kBuiltinFontCount) {
    BuiltinFont = font;
    CharSpacing = GuestInt16(kArgs + 2);
    SetStatus(0);
  } else {
    BuiltinFont = 0;
    CharSpacing = 1;
    SetStatus(1);
  }
}

// 37: a system font into a slot; status 1 when only the fallback font could be had.
void ServiceCreateFont() {
  const std::string face(GuestString(GuestWord(kArgs + 7)));
  SetStatus(CreateSlotFont(GuestByte(kArgs), face.c_str(), GuestWord(kArgs + 1),
                           GuestByte(kArgs + 3) != 0, GuestByte(kArgs + 4) != 0,
                           GuestByte(kArgs + 5) != 0, GuestByte(kArgs + 6) != 0));
}

// 38: system-font text from a slot.
void ServiceSelectFontSlot() {
  SystemFontMode = 1;
  FontSlot = GuestByte(kArgs);
}

// 39: measures a string; the width goes to W first, then the height to H.
void ServiceMeasureText() {
  const uint16_t width_address = GuestWord(kArgs), height_address = GuestWord(kArgs + 2);
  const Size size = MeasureText(GuestString(GuestWord(kArgs + 4)));
  SetStatus(0);
  SetGuestWord(width_address, uint16_t(size.width));
  SetGuestWord(height_address, uint16_t(size.height));
}

// 40: draws a string; returns the x after it (built-in) or the y below it (system font).
void ServiceDrawText() {
  const int32_t end =
      DrawTextAt(GuestInt16(kArgs), GuestInt16(kArgs + 2), GuestString(GuestWord(kArgs + 4)));
  SetGuestWord(kArgs, uint16_t(end));
}

// 41: draws a string centred between x1 and x2.
void ServiceDrawCentredText() {
  const int32_t x1 = GuestInt16(kArgs), x2 = GuestInt16(kArgs + 2);
  const std::string_view text = GuestString(GuestWord(kArgs + 6));
  const int32_t lo = x1 < x2 ? x1 : x2, hi = x1 < x2 ? x2 : x1;
  const int32_t x = lo + (hi - lo) / 2 - MeasureText(text).width / 2;
  DrawTextAt(x, GuestInt16(kArgs + 4), text);
}

}  // namespace

void FillTextServices(ServiceProc* group3) {
  group3[36] = ServiceSelectBuiltinFont;
  group3[37] = ServiceCreateFont;
  group3[38] = ServiceSelectFontSlot;
  group3[39] = ServiceMeasureText;
  group3[40] = ServiceDrawText;
  group3[41] = ServiceDrawCentredText;
}

}  // namespace velmora
