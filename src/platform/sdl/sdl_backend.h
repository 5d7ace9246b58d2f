// State shared by the files of the SDL backend (never seen outside src/platform/sdl).
#pragma once

#include <SDL.h>

#include <csignal>
#include <cstdint>

#include "platform/key_state.h"

namespace velmora {

struct SdlBackend {
  SDL_Window* window = nullptr;
  SDL_Renderer* renderer = nullptr;
  SDL_Texture* texture = nullptr;  // the last picture shown, as large as it was
  int32_t texture_width = 0, texture_height = 0;
  int32_t zoom = 1;  // presentation only: every coordinate the host sees is divided by it
  bool quit_posted = false;
  bool paint_pending = false;
  bool minimized = false;   // as asked for, and as the window manager last reported
  bool never_shown = true;  // created minimized: hidden until the first restore or show
  uint64_t last_os_pump = 0;
  uint32_t injected_key_event = 0;   // SDL user event type of an injected key
  uint32_t last_exposure_shown = 0;  // timestamp of the last exposure shown again by the watch
  int32_t cursor_count = 0;
  // Close requests (the close button, SDL_QUIT) that happened and no pump has taken: counted as
  // they happen, so that neither a queue full of other events nor one too full to take them
  // hides them from the watch over a guest that stops pumping.
  int32_t close_requests = 0;
  KeyTables keys = {};
};

extern SdlBackend Sdl;
// Set by PlatformInterrupt (from a signal handler).
extern volatile std::sig_atomic_t SdlInterrupted;

// Moves the system's input into SDL's queue, at most once a millisecond: pumps are cheap for a
// guest that pumps a million times a second.
void PumpSystemEvents();
// The virtual-key code of an SDL key (0: none), and a scancode that gives the key back.
uint8_t VirtualKeyOf(const SDL_Keysym& key);
// SDL's mouse buttons as the virtual keys 1 (left), 2 (right), 4 (middle), 5 and 6 (extra).
uint8_t VirtualKeyOfButton(uint8_t button);
// Drops the input (mouse, keys, close requests) that arrived while a message box had the window
// disabled.
void DropInputOfDisabledWindow();

}  // namespace velmora
