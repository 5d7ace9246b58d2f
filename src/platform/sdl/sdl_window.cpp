// The SDL backend's window: creation, the message pump (one SDL event per pump), presenting the
// picture through a texture, window state and place, the keyboard and the cursor.
//
// Zoom (VELMORA_ZOOM, a whole number from 1 to 8) enlarges the picture, nearest neighbour, for
// presentation only: every position and size the host sees is the screen's divided by the zoom,
// so a guest sees the same client coordinates, sizes and screen proportions at every zoom.
#include <algorithm>
#include <cstdlib>
#include <string_view>

#include "platform/platform.h"
#include "platform/sdl/sdl_backend.h"
#include "platform/system_clock.h"

namespace velmora {

SdlBackend Sdl;
volatile std::sig_atomic_t SdlInterrupted = 0;

namespace {

constexpr int32_t kCreatedSide = 100;
constexpr int32_t kLargestZoom = 8;
constexpr int kVideoAttempts = 10;
constexpr uint32_t kVideoRetryMilliseconds = 300;

// Host coordinates from screen pixels (rounded toward minus infinity) and back.
int32_t Logical(int32_t physical) {
  const int32_t zoom = Sdl.zoom;
  return physical >= 0 ? physical / zoom : -((-physical + zoom - 1) / zoom);
}
int32_t LogicalSize(int32_t physical) {
  return (physical + Sdl.zoom - 1) / Sdl.zoom;
}

struct Borders {
  int top = 0, left = 0, bottom = 0, right = 0;
};

// The frame the window manager draws around the client area; none without a window manager.
Borders WindowBorders() {
  Borders borders;
  if (SDL_GetWindowBordersSize(Sdl.window, &borders.top, &borders.left, &borders.bottom,
                               &borders.right) != 0) {
    borders = Borders();
  }
  return borders;
}

int32_t ZoomFromEnvironment() {
  const char* text = std::getenv("VELMORA_ZOOM");
  if (text == nullptr) return 1;
  const int zoom = std::atoi(text);
  return std::clamp(zoom, 1, kLargestZoom);
}

// The window's pixels per host pixel: the zoom, times the display's own scale on high-density
// screens where the renderer has more pixels than the window has points.
void OutputScale(float* x, float* y) {
  int window_width, window_height, output_width, output_height;
  SDL_GetWindowSize(Sdl.window, &window_width, &window_height);
  SDL_GetRendererOutputSize(Sdl.renderer, &output_width, &output_height);
  *x = float(Sdl.zoom) * (window_width > 0 ? float(output_width) / float(window_width) : 1.0f);
  *y = float(Sdl.zoom) * (window_height > 0 ? float(output_height) / float(window_height) : 1.0f);
}

// Shows the texture (the last picture) again, the rest of the client area black.
void ShowTexture() {
  SDL_SetRenderDrawColor(Sdl.renderer, 0, 0, 0, 255);
  SDL_RenderClear(Sdl.renderer);
  if (Sdl.texture != nullptr) {
    float scale_x, scale_y;
    OutputScale(&scale_x, &scale_y);
    const SDL_Rect source = {0, 0, Sdl.texture_width, Sdl.texture_height};
    const SDL_Rect target = {0, 0, int(float(Sdl.texture_width) * scale_x),
                             int(float(Sdl.texture_height) * scale_y)};
    SDL_RenderCopy(Sdl.renderer, Sdl.texture, &source, &target);
  }
  SDL_RenderPresent(Sdl.renderer);
}

bool IsOurWindow(uint32_t window_id) {
  return Sdl.window != nullptr && window_id == SDL_GetWindowID(Sdl.window);
}

// The close button of our window (SDL_QUIT is counted apart).
bool IsCloseRequest(const SDL_Event& event) {
  return event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_CLOSE &&
         IsOurWindow(event.window.windowID);
}

// A close request taken from the queue, or dropped from it, is no longer waiting.
void CloseRequestGone() {
  if (Sdl.close_requests > 0) --Sdl.close_requests;
}

// The input has happened: the asynchronous key state follows at once, whoever takes the event
// and whenever.
int WatchInput(void*, SDL_Event* event) {
  switch (event->type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP:
      if (event->key.repeat == 0) {
        if (const uint8_t key = VirtualKeyOf(event->key.keysym)) {
          KeyHappened(&Sdl.keys, key, event->type == SDL_KEYDOWN);
        }
      }
      break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
      if (const uint8_t key = VirtualKeyOfButton(event->button.button)) {
        KeyHappened(&Sdl.keys, key, event->type == SDL_MOUSEBUTTONDOWN);
      }
      break;
    case SDL_QUIT:
      ++Sdl.close_requests;
      break;
    case SDL_WINDOWEVENT:
      if (IsCloseRequest(*event)) ++Sdl.close_requests;
      break;
    default:
      if (event->type == Sdl.injected_key_event) {
        KeyHappened(&Sdl.keys, uint8_t(event->user.code), event->user.data1 == nullptr);
      }
      break;
  }
  return 1;
}

// The lock keys as the system has them (they may have changed while another window was active).
void ReadLockToggles() {
  const SDL_Keymod mods = SDL_GetModState();
  const auto set = [](uint8_t key, bool on) {
    Sdl.keys.message_state[key] = uint8_t((Sdl.keys.message_state[key] & ~1) | (on ? 1 : 0));
  };
  set(0x14, (mods & KMOD_CAPS) != 0);
  set(0x90, (mods & KMOD_NUM) != 0);
  set(0x91, (mods & KMOD_SCROLL) != 0);
}

void Dispatch(const SDL_Event& event) {
  switch (event.type) {
    case SDL_WINDOWEVENT:
      if (!IsOurWindow(event.window.windowID)) break;
      switch (event.window.event) {
        case SDL_WINDOWEVENT_EXPOSED:
          WindowPaint();
          break;
        case SDL_WINDOWEVENT_CLOSE:
          CloseRequestGone();
          WindowCloseRequest();
          break;
        case SDL_WINDOWEVENT_MINIMIZED:
          Sdl.minimized = true;
          break;
        case SDL_WINDOWEVENT_RESTORED:
          Sdl.minimized = false;
          break;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
          ReadLockToggles();
          break;
      }
      break;
    case SDL_QUIT:
      CloseRequestGone();
      WindowCloseRequest();
      break;
    case SDL_MOUSEMOTION:
      if (IsOurWindow(event.motion.windowID)) {
        WindowMouseMove(int16_t(Logical(event.motion.x)), int16_t(Logical(event.motion.y)));
      }
      break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
      const bool down = event.type == SDL_MOUSEBUTTONDOWN;
      if (const uint8_t key = VirtualKeyOfButton(event.button.button)) {
        KeyMessageTaken(&Sdl.keys, key, down);
      }
      // The window asks for no double clicks: a second click is a second down and up.
      if (event.button.button == SDL_BUTTON_LEFT && IsOurWindow(event.button.windowID)) {
        const int16_t x = int16_t(Logical(event.button.x));
        const int16_t y = int16_t(Logical(event.button.y));
        if (down) {
          WindowLeftButtonDown(x, y);
        } else {
          WindowLeftButtonUp(x, y);
        }
      }
      break;
    }
    case SDL_KEYDOWN:
    case SDL_KEYUP:
      if (const uint8_t key = VirtualKeyOf(event.key.keysym)) {
        KeyMessageTaken(&Sdl.keys, key, event.type == SDL_KEYDOWN);
      }
      break;
    default:
      if (event.type == Sdl.injected_key_event) {
        KeyMessageTaken(&Sdl.keys, uint8_t(event.user.code), event.user.data1 == nullptr);
      }
      break;
  }
}

// SDL falls back to drivers that show nothing (offscreen, dummy) when the display cannot be
// reached: that would be a program running in a window nobody sees. Such a driver counts only
// when the user asked for it (SDL_VIDEODRIVER). A display that is busy gets a few more tries.
bool InitVideo() {
  const char* asked = std::getenv("SDL_VIDEODRIVER");
  for (int attempt = 0; attempt < kVideoAttempts; ++attempt) {
    if (attempt > 0) SDL_Delay(kVideoRetryMilliseconds);
    if (SDL_Init(SDL_INIT_VIDEO) != 0) continue;
    const std::string_view driver = SDL_GetCurrentVideoDriver();
    if ((asked != nullptr && asked[0] != 0) || (driver != "offscreen" && driver != "dummy")) {
      return true;
    }
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
  }
  return false;
}

}  // namespace

void PumpSystemEvents() {
  const uint64_t now = SDL_GetTicks64();
  if (now == Sdl.last_os_pump) return;
  Sdl.last_os_pump = now;
  SDL_PumpEvents();
}

void DropInputOfDisabledWindow() {
  SDL_PumpEvents();
  SDL_FlushEvents(SDL_KEYDOWN, SDL_MOUSEWHEEL);
  // Close requests too: a disabled window's close button does nothing.
  SDL_Event event;
  int kept = 0;
  SDL_Event keep[64];
  while (kept < 64 &&
         SDL_PeepEvents(&event, 1, SDL_GETEVENT, SDL_WINDOWEVENT, SDL_WINDOWEVENT) == 1) {
    if (event.window.event != SDL_WINDOWEVENT_CLOSE) {
      keep[kept++] = event;
    } else if (IsCloseRequest(event)) {
      CloseRequestGone();
    }
  }
  SDL_PeepEvents(keep, kept, SDL_ADDEVENT, 0, 0);
}

// ---------------------------------------------------------------------------------------------
// Window and message pump

bool PlatformCreateWindow() {
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");         // the host handles Ctrl-C itself
  SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");  // the close button is a close request
  SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");   // a click that activates still counts
  SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "0");       // nearest neighbour when zoomed
  SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
  if (!InitVideo()) return false;
  Sdl.zoom = ZoomFromEnvironment();
  Sdl.window = SDL_CreateWindow("", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                                kCreatedSide * Sdl.zoom, kCreatedSide * Sdl.zoom,
                                SDL_WINDOW_HIDDEN | SDL_WINDOW_ALLOW_HIGHDPI);
  if (Sdl.window == nullptr) return false;
  Sdl.renderer = SDL_CreateRenderer(Sdl.window, -1, 0);
  if (Sdl.renderer == nullptr)
    Sdl.renderer = SDL_CreateRenderer(Sdl.window, -1, SDL_RENDERER_SOFTWARE);
  if (Sdl.renderer == nullptr) {
    SDL_DestroyWindow(Sdl.window);
    Sdl.window = nullptr;
    return false;
  }
  SDL_StopTextInput();  // keys are keys: no text events
  Sdl.injected_key_event = SDL_RegisterEvents(1);
  SDL_AddEventWatch(WatchInput, nullptr);
  Sdl.minimized = true;
  Sdl.never_shown = true;
  Sdl.close_requests = 0;
  ReadLockToggles();
  return true;
}

PumpResult PlatformPumpMessage() {
  // Once the window is gone, nothing but the quit message is left for the program.
  if (Sdl.quit_posted && Sdl.window == nullptr) {
    Sdl.quit_posted = false;
    return PumpResult::kQuit;
  }
  PumpSystemEvents();
  SDL_Event event;
  if (SDL_PeepEvents(&event, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) == 1) {
    Dispatch(event);
    return PumpResult::kDispatched;
  }
  if (Sdl.quit_posted) {
    Sdl.quit_posted = false;
    return PumpResult::kQuit;
  }
  if (Sdl.paint_pending && Sdl.window != nullptr) {
    Sdl.paint_pending = false;
    WindowPaint();
    return PumpResult::kDispatched;
  }
  return PumpResult::kNone;
}

void PlatformPostQuit() {
  Sdl.quit_posted = true;
}

void PlatformRequestRepaint() {
  if (Sdl.window != nullptr) Sdl.paint_pending = true;
}

void PlatformDestroyWindow() {
  if (Sdl.window == nullptr) return;
  WindowDestroy();
  if (Sdl.texture != nullptr) SDL_DestroyTexture(Sdl.texture);
  SDL_DestroyRenderer(Sdl.renderer);
  SDL_DestroyWindow(Sdl.window);
  Sdl.texture = nullptr;
  Sdl.renderer = nullptr;
  Sdl.window = nullptr;
  Sdl.paint_pending = false;
}

bool PlatformWindowExists() {
  return Sdl.window != nullptr;
}

// The close request is not looked for in the queue: a guest that injected a few hundred keys
// before it stopped pumping would have put it beyond any look, or, with the queue full, made SDL
// drop it.
bool PlatformCloseWaiting() {
  if (Sdl.window == nullptr) return false;
  SDL_PumpEvents();
  SDL_Event events[256];
  const int count = SDL_PeepEvents(events, 256, SDL_PEEKEVENT, SDL_WINDOWEVENT, SDL_WINDOWEVENT);
  for (int i = 0; i < count; ++i) {
    const SDL_Event& event = events[i];
    // Uncovered while the guest does not pump: the last picture again, nothing to the guest.
    if (IsOurWindow(event.window.windowID) && event.window.event == SDL_WINDOWEVENT_EXPOSED &&
        event.window.timestamp != Sdl.last_exposure_shown) {
      Sdl.last_exposure_shown = event.window.timestamp;
      ShowTexture();
    }
  }
  return Sdl.close_requests > 0;
}

void PlatformInterrupt() {
  SdlInterrupted = 1;
}

void PlatformPresent(const uint32_t* pixels, int32_t width, int32_t height, int32_t stride) {
  if (Sdl.window == nullptr) return;
  if (Sdl.texture == nullptr || Sdl.texture_width != width || Sdl.texture_height != height) {
    if (Sdl.texture != nullptr) SDL_DestroyTexture(Sdl.texture);
    Sdl.texture = nullptr;
    if (width > 0 && height > 0) {
      // 0x00BBGGRR in a 32-bit word: X8B8G8R8.
      Sdl.texture = SDL_CreateTexture(Sdl.renderer, SDL_PIXELFORMAT_XBGR8888,
                                      SDL_TEXTUREACCESS_STATIC, width, height);
    }
    Sdl.texture_width = Sdl.texture != nullptr ? width : 0;
    Sdl.texture_height = Sdl.texture != nullptr ? height : 0;
  }
  if (Sdl.texture != nullptr) SDL_UpdateTexture(Sdl.texture, nullptr, pixels, stride * 4);
  ShowTexture();
}

void PlatformShowWindow() {
  if (Sdl.window == nullptr) return;
  Sdl.never_shown = false;
  SDL_ShowWindow(Sdl.window);
  SDL_RaiseWindow(Sdl.window);
}

void PlatformHideWindow() {
  if (Sdl.window != nullptr) SDL_HideWindow(Sdl.window);
}

void PlatformMinimizeWindow() {
  if (Sdl.window == nullptr) return;
  Sdl.minimized = true;
  SDL_MinimizeWindow(Sdl.window);
}

void PlatformRestoreWindow() {
  if (Sdl.window == nullptr) return;
  Sdl.minimized = false;
  if (Sdl.never_shown) {
    Sdl.never_shown = false;
    SDL_ShowWindow(Sdl.window);
  } else {
    SDL_RestoreWindow(Sdl.window);
  }
  SDL_RaiseWindow(Sdl.window);
}

bool PlatformIsMinimized() {
  return Sdl.window != nullptr && Sdl.minimized;
}

bool PlatformIsActive() {
  return Sdl.window != nullptr && (SDL_GetWindowFlags(Sdl.window) & SDL_WINDOW_INPUT_FOCUS) != 0;
}

void PlatformSetTitle(const char* title) {
  if (Sdl.window != nullptr) SDL_SetWindowTitle(Sdl.window, title);
}

void PlatformFlashWindow() {
  if (Sdl.window != nullptr) SDL_FlashWindow(Sdl.window, SDL_FLASH_BRIEFLY);
}

void PlatformWindowRect(PlatformRect* outer) {
  *outer = {0, 0, 0, 0};
  if (Sdl.window == nullptr) return;
  int x, y, width, height;
  SDL_GetWindowPosition(Sdl.window, &x, &y);
  SDL_GetWindowSize(Sdl.window, &width, &height);
  const Borders borders = WindowBorders();
  outer->left = Logical(x - borders.left);
  outer->top = Logical(y - borders.top);
  outer->right = outer->left + LogicalSize(width) + LogicalSize(borders.left + borders.right);
  outer->bottom = outer->top + LogicalSize(height) + LogicalSize(borders.top + borders.bottom);
}

void PlatformClientSize(int32_t* width, int32_t* height) {
  *width = *height = 0;
  if (Sdl.window == nullptr) return;
  int w, h;
  SDL_GetWindowSize(Sdl.window, &w, &h);
  *width = LogicalSize(w);
  *height = LogicalSize(h);
}

// SDL places the client area; the outer corner lies the frame's width before it.
void PlatformMoveWindow(int32_t x, int32_t y) {
  if (Sdl.window == nullptr) return;
  const Borders borders = WindowBorders();
  SDL_SetWindowPosition(Sdl.window, x * Sdl.zoom + borders.left, y * Sdl.zoom + borders.top);
}

void PlatformPlaceWindow(int32_t x, int32_t y, int32_t width, int32_t height) {
  if (Sdl.window == nullptr) return;
  const Borders borders = WindowBorders();
  const int32_t frame_width = LogicalSize(borders.left + borders.right);
  const int32_t frame_height = LogicalSize(borders.top + borders.bottom);
  SDL_SetWindowSize(Sdl.window, std::max(1, (width - frame_width) * Sdl.zoom),
                    std::max(1, (height - frame_height) * Sdl.zoom));
  SDL_SetWindowPosition(Sdl.window, x * Sdl.zoom + borders.left, y * Sdl.zoom + borders.top);
  SDL_RaiseWindow(Sdl.window);
}

// SDL can raise a window and keep it above the others, but not lower it: the bottom only gives
// up being topmost.
void PlatformSetWindowOrder(WindowOrder order) {
  if (Sdl.window == nullptr) return;
  switch (order) {
    case WindowOrder::kBottom:
    case WindowOrder::kNotTopmost:
      SDL_SetWindowAlwaysOnTop(Sdl.window, SDL_FALSE);
      break;
    case WindowOrder::kTop:
      SDL_RaiseWindow(Sdl.window);
      break;
    case WindowOrder::kTopmost:
      SDL_SetWindowAlwaysOnTop(Sdl.window, SDL_TRUE);
      break;
  }
}

void PlatformScreenSize(int32_t* width, int32_t* height) {
  SDL_Rect bounds = {0, 0, 0, 0};
  SDL_GetDisplayBounds(0, &bounds);
  *width = LogicalSize(bounds.w);
  *height = LogicalSize(bounds.h);
}

// ---------------------------------------------------------------------------------------------
// Keyboard and mouse cursor

bool PlatformKeyboardState(uint8_t state[256]) {
  std::copy(std::begin(Sdl.keys.message_state), std::end(Sdl.keys.message_state), state);
  return true;
}

PlatformKeyState PlatformAsyncKeyState(uint8_t key) {
  PumpSystemEvents();
  return AsyncKeyQuery(&Sdl.keys, key);
}

// Into Velmora's own queue, as if typed into its window: other programs never see it.
bool PlatformInjectKey(uint8_t key, bool up) {
  if (Sdl.injected_key_event == 0) return false;
  SDL_Event event = {};
  event.type = Sdl.injected_key_event;
  event.user.windowID = Sdl.window != nullptr ? SDL_GetWindowID(Sdl.window) : 0;
  event.user.code = key;
  event.user.data1 = up ? &Sdl : nullptr;  // non-null: the key goes up
  return SDL_PushEvent(&event) == 1;
}

void PlatformCursorPosition(int32_t* x, int32_t* y) {
  int screen_x = 0, screen_y = 0;
  SDL_GetGlobalMouseState(&screen_x, &screen_y);
  *x = Logical(screen_x);
  *y = Logical(screen_y);
}

int32_t PlatformShowCursor(bool show) {
  Sdl.cursor_count = StepCursorCount(Sdl.cursor_count, show);
  SDL_ShowCursor(Sdl.cursor_count >= 0 ? SDL_ENABLE : SDL_DISABLE);
  return Sdl.cursor_count;
}

// ---------------------------------------------------------------------------------------------
// Time: the POSIX clocks.

uint32_t PlatformTickCount() {
  return SystemTickCount();
}
void PlatformSleep(uint32_t milliseconds) {
  SystemSleep(milliseconds);
}
void PlatformLocalTime(PlatformDateTime* time) {
  SystemLocalTime(time);
}
void PlatformUtcTime(PlatformDateTime* time) {
  SystemUtcTime(time);
}

}  // namespace velmora
