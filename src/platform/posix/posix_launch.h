// Starting programs on a POSIX host, shared by the headless and the SDL backends.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace velmora {

// Splits a command line into words the way Windows programs split theirs: blanks separate
// words; double quotes group a word's blanks and are dropped ("" inside quotes is a quote);
// 2n backslashes before a quote give n backslashes, 2n+1 give n and a literal quote;
// backslashes elsewhere are kept.
std::vector<std::string> SplitCommandLine(std::string_view command_line);

// Runs the split command line with posix_spawnp (the program is looked for on PATH when its name
// has no slash; backslashes in it separate directories), in a session of its own, with standard
// input and output on /dev/null. No shell sees the line.
LaunchResult PosixLaunch(const char* command_line);

}  // namespace velmora
