// The path of the loaded program: recorded by the loader at boot, read by the file services
// that tell the guest where its program lies.
#pragma once

#include <cstdint>
#include <string>

namespace velmora {

// A path of this many characters or more is not recorded.
constexpr uint32_t kRecordedPathLimit = 300;

// The path of the last successful load, as given; empty until then.
extern char LoadedProgramPath[kRecordedPathLimit];
extern uint32_t LoadedProgramPathLength;

// Keeps `path` as LoadedProgramPath; a path too long to record leaves the old one.
void RecordProgramPath(const char* path);

// LoadedProgramPath as the guest sees paths: every '/' turned into '\'.
std::string GuestProgramPath();

}  // namespace velmora
