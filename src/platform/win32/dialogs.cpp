// Message boxes, the beep and launching programs on USER32 and KERNEL32.
#include <windows.h>

#include "platform/platform.h"
#include "platform/system_launch.h"
#include "platform/win32/win32_backend.h"
#include "platform/win32/win32_text.h"

namespace velmora {

// Modal, owned by the window: USER32 disables the window meanwhile and keeps dispatching its
// messages (paints) while the box is open. The texts go in as Unicode, so that the guest's
// characters show whatever the system's code page.
MessageAnswer PlatformMessageBox(const char* text, const char* caption, MessageButtons buttons) {
  if (!Win32.window) return MessageAnswer::kNone;
  static const UINT kTypes[] = {MB_OK, MB_OKCANCEL, MB_YESNO, MB_YESNOCANCEL};
  switch (MessageBoxW(Win32.window, WideText(text).c_str(), WideText(caption).c_str(),
                      kTypes[int(buttons)])) {
    case IDOK:
      return MessageAnswer::kOk;
    case IDCANCEL:
      return MessageAnswer::kCancel;
    case IDYES:
      return MessageAnswer::kYes;
    case IDNO:
      return MessageAnswer::kNo;
    default:
      return MessageAnswer::kNone;
  }
}

// Beep returns when the tone has ended. Where it does not sound the tone (no speaker, wine) and
// returns at once, the rest of the duration is waited here, unless Ctrl-C ends the wait.
void PlatformBeep(uint32_t frequency, uint32_t duration) {
  const ULONGLONG start = GetTickCount64();
  Beep(frequency, duration);
  const ULONGLONG passed = GetTickCount64() - start;
  if (passed >= duration) return;
  const DWORD rest = DWORD(duration - passed);
  if (Win32.interrupt) {
    WaitForSingleObject(Win32.interrupt, rest);
  } else {
    Sleep(rest);
  }
}

LaunchResult PlatformLaunch(const char* command_line, bool show) {
  return SystemLaunch(command_line, show);
}

}  // namespace velmora
