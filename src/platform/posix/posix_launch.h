// Starting programs on a POSIX host (SystemLaunch, platform/system_launch.h): the command line
// split into words.
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

}  // namespace velmora
