#include "io/file_layer.h"

#include <cstring>
#include <string>

#include "io/sandbox.h"
#include "services/status.h"

namespace velmora {

uint8_t EndOfFileFlag = 0;

namespace {

constexpr uint32_t kErrorBadMode = 1;
constexpr uint32_t kErrorClose = 2;
constexpr uint32_t kErrorDelete = 3;
constexpr uint32_t kErrorRename = 4;
constexpr uint32_t kErrorSeek = 5;
constexpr uint32_t kErrorRead = 7;
constexpr uint32_t kErrorWrite = 8;
constexpr uint32_t kErrorCreateDirectory = 9;
constexpr uint32_t kErrorFlush = 10;
constexpr uint32_t kErrorCurrentDirectory = 11;
constexpr uint32_t kErrorSize = 12;
constexpr uint32_t kErrorTempDirectory = 13;
constexpr uint32_t kErrorSetCurrentDirectory = 14;
constexpr uint32_t kEndOfFile = 255;

// Reads exactly `count` bytes into `bytes`, or reports the failure or the short read.
bool ReadExactly(FileHandle file, void* bytes, uint32_t count) {
  HostError = 0;
  EndOfFileFlag = 0;
  const int64_t got = PlatformReadFile(file, bytes, count);
  if (got < 0) {
    HostError = kErrorRead;
    return false;
  }
  if (got < int64_t(count)) {
    EndOfFileFlag = 1;
    return false;
  }
  return true;
}

// In a sandbox with a quota, a write that would make files grow beyond it writes what fits and
// fails as on a full disk.
void WriteExactly(FileHandle file, const void* bytes, uint32_t count) {
  HostError = 0;
  const uint32_t allowed = TakeWriteQuota(file, count);
  if (allowed > 0 && PlatformWriteFile(file, bytes, allowed) != int64_t(allowed)) {
    HostError = kErrorWrite;
  }
  if (allowed < count) HostError = kErrorWrite;
}

// Copies a platform path with its terminator into a buffer of `size` bytes when it fits.
bool CopyPath(const std::string& path, uint32_t size, char* buffer) {
  if (path.size() >= size) return false;
  std::memcpy(buffer, path.c_str(), path.size() + 1);
  return true;
}

}  // namespace

FileHandle FileOpen(const char* name, uint8_t mode) {
  HostError = 0;
  if (mode > kOpenReadWrite) {
    HostError = kErrorBadMode;
    return kInvalidHandle;
  }
  const int access = mode % 3;  // 0 read, 1 write, 2 read and write
  const FileCreation creation =
      mode < kOpenRead ? FileCreation::kOpenAlways : FileCreation::kOpenExisting;
  std::string path;
  if (!ResolveGuestPath(name, &path)) return kInvalidHandle;
  return PlatformOpenFile(path.c_str(), access != 1, access != 0, creation);
}

// The host's own file (the program), named by the user: never a guest path, and opened before any
// sandbox is entered.
FileHandle FileOpenSharedRead(const char* name) {
  HostError = 0;
  return PlatformOpenFile(name, true, false, FileCreation::kOpenExisting, FileSharing::kReaders);
}

void FileClose(FileHandle file) {
  HostError = 0;
  if (!PlatformCloseFile(file)) HostError = kErrorClose;
}

void FileFlush(FileHandle file) {
  HostError = 0;
  if (!PlatformFlushFile(file)) HostError = kErrorFlush;
}

uint8_t FileReadByte(FileHandle file) {
  uint8_t bytes[1];
  return ReadExactly(file, bytes, 1) ? bytes[0] : 0;
}

uint16_t FileReadWord(FileHandle file) {
  uint8_t bytes[2];
  if (!ReadExactly(file, bytes, 2)) return 0;
  return uint16_t(bytes[0] | bytes[1] << 8);
}

uint32_t FileReadDword(FileHandle file) {
  uint8_t bytes[4];
  if (!ReadExactly(file, bytes, 4)) return 0;
  return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
         uint32_t(bytes[3]) << 24;
}

void FileReadBlock(FileHandle file, uint32_t count, uint8_t* buffer) {
  ReadExactly(file, buffer, count);
}

// A buffer too small for one byte and its terminator reads nothing, and says so by a clear
// status rather than the one the previous operation left.
uint32_t FileReadLine(FileHandle file, uint32_t size, uint8_t* buffer) {
  if (size < 2) {
    HostError = 0;
    EndOfFileFlag = 0;
    return 1;
  }
  uint32_t stored = 0;
  for (;;) {
    const uint8_t byte = FileReadByte(file);
    if (HostError == kErrorRead) return 0;
    if (EndOfFileFlag) {
      HostError = kEndOfFile;
      break;
    }
    buffer[stored++] = byte;
    // A line longer than the buffer comes in pieces, each unterminated.
    if (stored == size - 1) return 0;
    if (byte == 0x0A) break;
  }
  uint32_t length = 0;
  for (uint32_t i = 0; i < stored; ++i) {
    if (buffer[i] != 0x0D && buffer[i] != 0x0A) buffer[length++] = buffer[i];
  }
  buffer[length] = 0;
  return length;
}

void FileWriteByte(FileHandle file, uint8_t value) {
  WriteExactly(file, &value, 1);
}

void FileWriteWord(FileHandle file, uint16_t value) {
  const uint8_t bytes[2] = {uint8_t(value), uint8_t(value >> 8)};
  WriteExactly(file, bytes, 2);
}

void FileWriteDword(FileHandle file, uint32_t value) {
  const uint8_t bytes[4] = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16),
                            uint8_t(value >> 24)};
  WriteExactly(file, bytes, 4);
}

void FileWriteQword(FileHandle file, uint32_t low, uint32_t high) {
  const uint8_t bytes[8] = {uint8_t(low),        uint8_t(low >> 8),  uint8_t(low >> 16),
                            uint8_t(low >> 24),  uint8_t(high),      uint8_t(high >> 8),
                            uint8_t(high >> 16), uint8_t(high >> 24)};
  WriteExactly(file, bytes, 8);
}

void FileWriteBlock(FileHandle file, uint32_t count, const uint8_t* buffer) {
  HostError = 0;
  if (count == 0) return;
  WriteExactly(file, buffer, count);
}

// One platform write for the whole text: the file ends up as if written byte by byte up to the
// failing byte.
uint32_t FileWriteText(FileHandle file, const char* text) {
  HostError = 0;
  const uint32_t length = uint32_t(std::strlen(text));
  if (length == 0) return 0;
  WriteExactly(file, text, length);
  return HostError == 0 ? length : 0;
}

// An empty text still ends a line, so that empty lines survive in the file.
uint32_t FileWriteLine(FileHandle file, const char* text) {
  const uint32_t length = FileWriteText(file, text);
  if (HostError != 0) return 0;
  WriteExactly(file, "\r\n", 2);
  return HostError == 0 ? length : 0;
}

void FileSeek(FileHandle file, int32_t position) {
  HostError = 0;
  if (!PlatformSeekFile(file, position, SeekFrom::kStart)) HostError = kErrorSeek;
}

void FileSeekStart(FileHandle file) {
  FileSeek(file, 0);
}

void FileSeekEnd(FileHandle file) {
  HostError = 0;
  if (!PlatformSeekFile(file, 0, SeekFrom::kEnd)) HostError = kErrorSeek;
}

uint32_t FileSize(FileHandle file) {
  HostError = 0;
  const int64_t size = PlatformFileSize(file);
  if (size < 0) {
    HostError = kErrorSize;
    return 0;
  }
  return uint32_t(size);
}

void FileDelete(const char* name) {
  HostError = 0;
  std::string path;
  if (!ResolveGuestPath(name, &path) || !PlatformDeleteFile(path.c_str())) {
    HostError = kErrorDelete;
  }
}

void DirRemove(const char* name) {
  HostError = 0;
  std::string path;
  if (!ResolveGuestPath(name, &path) || !PlatformRemoveDirectory(path.c_str())) {
    HostError = kErrorDelete;
  }
}

void DirCreate(const char* name) {
  HostError = 0;
  std::string path;
  if (!ResolveGuestPath(name, &path) || !PlatformCreateDirectory(path.c_str())) {
    HostError = kErrorCreateDirectory;
  }
}

void FileRename(const char* from, const char* to) {
  HostError = 0;
  std::string source, target;
  if (!ResolveGuestPath(from, &source) || !ResolveGuestPath(to, &target) ||
      !PlatformRenameFile(source.c_str(), target.c_str())) {
    HostError = kErrorRename;
  }
}

bool FileExists(const char* name) {
  std::string pattern;
  return ResolveGuestPath(name, &pattern, GuestPathKind::kPattern) &&
         PlatformPathExists(pattern.c_str());
}

// In a sandbox, the guest's current directory and its temporary folder (the sandbox's root) are
// shown as paths inside the sandbox.
void FileGetCurrentDir(uint32_t size, char* buffer) {
  HostError = 0;
  std::string path;
  bool known = true;
  if (SandboxActive()) {
    path = SandboxCurrentDirectory();
  } else {
    known = PlatformGetCurrentDirectory(&path);
  }
  if (!known || !CopyPath(path, size, buffer)) {
    if (size > 0) buffer[0] = 0;
    HostError = kErrorCurrentDirectory;
  }
}

void FileSetCurrentDir(const char* name) {
  HostError = 0;
  const bool done =
      SandboxActive() ? SetSandboxCurrentDirectory(name) : PlatformSetCurrentDirectory(name);
  if (!done) HostError = kErrorSetCurrentDirectory;
}

uint32_t FileGetTempPath(uint32_t size, char* buffer) {
  HostError = 0;
  std::string path;
  bool known = true;
  if (SandboxActive()) {
    path.assign(1, '\\');
  } else {
    known = PlatformGetTempDirectory(&path);
  }
  if (!known || !CopyPath(path, size, buffer)) {
    if (size > 0) buffer[0] = 0;
    HostError = kErrorTempDirectory;
    return 0;
  }
  return uint32_t(path.size());
}

}  // namespace velmora
