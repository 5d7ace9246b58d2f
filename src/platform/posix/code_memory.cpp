// Memory for generated code on POSIX hosts. On Linux an anonymous memory file mapped twice, once
// read-write and once read-execute; elsewhere, or where that is refused (a policy that forbids
// executable shared memory), an anonymous private mapping switched page by page with mprotect.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

#include "platform/platform.h"

namespace velmora {

namespace {

bool MapTwice(size_t bytes, CodeMemory* memory) {
#ifdef __linux__
  const int file = memfd_create("velmora-code", MFD_CLOEXEC);
  if (file < 0) return false;
  void* write = MAP_FAILED;
  void* execute = MAP_FAILED;
  if (ftruncate(file, off_t(bytes)) == 0) {
    write = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, file, 0);
    execute = mmap(nullptr, bytes, PROT_READ | PROT_EXEC, MAP_SHARED, file, 0);
  }
  close(file);  // the mappings keep the pages
  if (write != MAP_FAILED && execute != MAP_FAILED) {
    memory->write = static_cast<uint8_t*>(write);
    memory->execute = static_cast<const uint8_t*>(execute);
    return true;
  }
  if (write != MAP_FAILED) munmap(write, bytes);
  if (execute != MAP_FAILED) munmap(execute, bytes);
#else
  (void)bytes;
  (void)memory;
#endif
  return false;
}

}  // namespace

bool PlatformMapCodeMemory(size_t bytes, CodeMemory* memory) {
  if (MapTwice(bytes, memory)) return true;
  void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return false;
  memory->write = static_cast<uint8_t*>(p);
  memory->execute = memory->write;
  return true;
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
