// State shared by the files of the Win32 window backend (never seen outside src/platform/win32).
#pragma once

#include <windows.h>

namespace velmora {

struct Win32Window {
  HWND window = nullptr;
  // Set while WM_PAINT is handled: the target of PlatformPresent.
  HDC paint_dc = nullptr;
  // Signalled by PlatformInterrupt: waits inside the backend end early.
  HANDLE interrupt = nullptr;
};

extern Win32Window Win32;

}  // namespace velmora
