// Starting a program on the operating system under the backends: posix/ and win32/ each implement
// it, and the window backends (headless among them) build PlatformLaunch on it.
#pragma once

#include "platform/platform.h"

namespace velmora {

// Starts the program the command line names, detached, without a shell. `show` asks for its
// window to be shown, where the system lets the starter choose.
LaunchResult SystemLaunch(const char* command_line, bool show);

}  // namespace velmora
