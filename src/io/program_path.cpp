#include "io/program_path.h"

#include <cstring>

namespace velmora {

char LoadedProgramPath[kRecordedPathLimit] = {};
uint32_t LoadedProgramPathLength = 0;

void RecordProgramPath(const char* path) {
  const size_t length = strnlen(path, kRecordedPathLimit);
  if (length >= kRecordedPathLimit) return;
  memcpy(LoadedProgramPath, path, length);
  LoadedProgramPath[length] = '\0';
  LoadedProgramPathLength = uint32_t(length);
}

std::string GuestProgramPath() {
  std::string path(LoadedProgramPath, LoadedProgramPathLength);
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

}  // namespace velmora
