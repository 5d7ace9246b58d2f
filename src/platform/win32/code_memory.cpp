// Memory for generated code on Windows: VirtualAlloc'd read-write, switched page by page between
// read-write and read-execute with VirtualProtect; the instruction cache is flushed after writing.
#include <windows.h>

#include <cstdint>

#include "platform/platform.h"

namespace velmora {

bool PlatformMapCodeMemory(size_t bytes, CodeMemory* memory) {
  void* p = VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  if (p == nullptr) return false;
  memory->write = static_cast<uint8_t*>(p);
  memory->execute = memory->write;
  return true;
}

bool PlatformProtectCodeMemory(void* start, size_t bytes, bool executable) {
  const uintptr_t page = PlatformCodePageSize();
  const uintptr_t from = reinterpret_cast<uintptr_t>(start) & ~(page - 1);
  const uintptr_t to = (reinterpret_cast<uintptr_t>(start) + bytes + page - 1) & ~(page - 1);
  DWORD old = 0;
  if (!VirtualProtect(reinterpret_cast<void*>(from), to - from,
                      executable ? PAGE_EXECUTE_READ : PAGE_READWRITE, &old)) {
    return false;
  }
  if (executable)
    FlushInstructionCache(GetCurrentProcess(), reinterpret_cast<void*>(from), to - from);
  return true;
}

size_t PlatformCodePageSize() {
  static const size_t page = [] {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwPageSize > 0 ? size_t(info.dwPageSize) : size_t(4096);
  }();
  return page;
}

}  // namespace velmora
