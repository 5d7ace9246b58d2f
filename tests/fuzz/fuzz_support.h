// What the fuzz targets share: a scratch folder of their own, whole-file writes, and checks that
// stop the run with a message (libFuzzer then keeps the input as a finding).
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <string>

namespace velmora::fuzz {

[[noreturn]] inline void Fail(const char* file, int line, const char* what) {
  fprintf(stderr, "fuzz check failed at %s:%d: %s\n", file, line, what);
  abort();
}

// For the targets' own checking loops: coverage of the checks would only slow the search.
#define FUZZ_NO_COVERAGE __attribute__((no_sanitize("coverage")))

#define FUZZ_CHECK(condition, what)                                    \
  do {                                                                 \
    if (!(condition)) ::velmora::fuzz::Fail(__FILE__, __LINE__, what); \
  } while (0)

// A fresh folder under VELMORA_FUZZ_TMP, else /dev/shm (in memory: a disk file system may write
// a file rewritten from empty through to disk at every close), else /tmp; removed when the
// process ends normally. Each target process has its own, so parallel jobs never share files.
// (Kept on the heap for good: the exit handler runs after static destructors.)
inline const std::string& ScratchRoot() {
  static const std::string* root = [] {
    const char* tmp = getenv("VELMORA_FUZZ_TMP");
    std::error_code error;
    if (!tmp || !*tmp) tmp = std::filesystem::is_directory("/dev/shm", error) ? "/dev/shm" : "/tmp";
    auto* pattern = new std::string(std::string(tmp) + "/velmora-fuzz-XXXXXX");
    if (mkdtemp(pattern->data()) == nullptr)
      Fail(__FILE__, __LINE__, "cannot make a scratch folder");
    atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(ScratchRoot(), ignored);
    });
    return pattern;
  }();
  return *root;
}

inline void WriteWholeFile(const std::string& path, const uint8_t* data, size_t size) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  FUZZ_CHECK(fd >= 0, "cannot write the input file");
  size_t done = 0;
  while (done < size) {
    const ssize_t n = write(fd, data + done, size - done);
    FUZZ_CHECK(n > 0, "short write of the input file");
    done += size_t(n);
  }
  close(fd);
}

inline bool OneOf(uint8_t value, std::initializer_list<uint8_t> values) {
  return std::find(values.begin(), values.end(), value) != values.end();
}

// The lowest free descriptor number: it rises when a descriptor leaks.
inline int LowestFreeDescriptor() {
  const int fd = dup(2);
  close(fd);
  return fd;
}

}  // namespace velmora::fuzz
