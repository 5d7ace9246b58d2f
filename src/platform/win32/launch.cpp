// Starting a program with WinExec: no shell sees the command line, and its answers are the error
// values the guest's launch service reports.
#include <windows.h>

#include "platform/platform.h"
#include "platform/system_launch.h"
#include "platform/win32/win32_text.h"

namespace velmora {

LaunchResult SystemLaunch(const char* command_line, bool show) {
  const UINT result = WinExec(CodePageText(command_line).c_str(), show ? SW_SHOWNORMAL : SW_HIDE);
  if (result > 31) return LaunchResult::kStarted;
  switch (result) {
    case ERROR_FILE_NOT_FOUND:
      return LaunchResult::kNotFound;
    case ERROR_PATH_NOT_FOUND:
      return LaunchResult::kPathNotFound;
    case ERROR_BAD_FORMAT:
      return LaunchResult::kBadFormat;
    case ERROR_ACCESS_DENIED:
      return LaunchResult::kAccessDenied;
    default:  // 0: out of memory or resources
      return LaunchResult::kNoResources;
  }
}

}  // namespace velmora
