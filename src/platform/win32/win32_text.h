// Texts of the platform interface (UTF-8) for the Windows functions: UTF-16 for the W functions,
// the system's code page for the A functions that have no W form (WinExec).
#pragma once

#include <string>

namespace velmora {

std::wstring WideText(const char* utf8);
std::string CodePageText(const char* utf8);

}  // namespace velmora
