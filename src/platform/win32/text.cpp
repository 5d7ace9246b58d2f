// Texts between the platform interface (UTF-8) and KERNEL32 and USER32.
#include <windows.h>

#include "platform/win32/win32_text.h"

namespace velmora {

std::wstring WideText(const char* utf8) {
  const int size = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
  if (size <= 1) return std::wstring();
  std::wstring wide(size_t(size - 1), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide.data(), size);
  return wide;
}

std::string CodePageText(const char* utf8) {
  const std::wstring wide = WideText(utf8);
  const int size = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return std::string();
  std::string text(size_t(size - 1), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, text.data(), size, nullptr, nullptr);
  return text;
}

}  // namespace velmora
