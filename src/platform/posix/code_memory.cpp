// Memory for generated code on POSIX hosts: an anonymous private mapping, switched page by page
// between read-write and read-execute with mprotect.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

#include "platform/platform.h"

namespace velmora {

void* PlatformMapCodeMemory(size_t bytes) {
  void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return p == MAP_FAILED ? nullptr : p;
}

bool PlatformProtectCodeMemory(void* start, size_t bytes, bool executable) {
  const uintptr_t page = PlatformCodePageSize();
  const uintptr_t from = reinterpret_cast<uintptr_t>(start) & ~(page - 1);
  const uintptr_t to = (reinterpret_cast<uintptr_t>(start) + bytes + page - 1) & ~(page - 1);
  return mprotect(reinterpret_cast<void*>(from), to - from,
                  executable ? PROT_READ | PROT_EXEC : PROT_READ | PROT_WRITE) == 0;
}

size_t PlatformCodePageSize() {
  static const long page = sysconf(_SC_PAGESIZE);
  return page > 0 ? size_t(page) : 4096;
}

}  // namespace velmora
