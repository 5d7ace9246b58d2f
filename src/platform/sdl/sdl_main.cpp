// The desktop program's entry on Linux and macOS: the command line after the program's name, as
// one line again (words with blanks back between double quotes), for the host.
#include <string>

#include "platform/platform.h"

int main(int argc, char** argv) {
  std::string command_line;
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (i > 1) command_line += ' ';
    const bool quote = word.empty() || word.find_first_of(" \t") != std::string::npos;
    command_line += quote ? '"' + word + '"' : word;
  }
  return velmora::DesktopMain(command_line.c_str());
}
