// Files and directories on KERNEL32. Guest paths are Windows paths already; the 8-bit (ANSI code
// page) functions take them unchanged.
//
// "No sharing" is the platform's own: every open asks for share mode 0, so a second open of the
// same file, by this process or any other, fails, and so do delete and rename of a file held that
// way. The host's loading of the HEX program shares with readers only, so that several runs can
// start the same program at once.
#include <windows.h>

#include <cstring>
#include <string>

#include "platform/platform.h"

namespace velmora {
namespace {

HANDLE Handle(PlatformFile file) {
  return reinterpret_cast<HANDLE>(file);
}

bool HasWildcard(const char* text) {
  return std::strpbrk(text, "*?") != nullptr;
}

bool IsDotEntry(const char* name) {
  return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

// A KERNEL32 call that fills a text buffer and answers the length it wrote, or the size it needs
// (terminator included) when the buffer is too small, or 0 on failure.
template <typename Fill>
bool ReadText(Fill fill, std::string* text) {
  std::string buffer(MAX_PATH + 1, '\0');
  for (int attempt = 0; attempt < 3; ++attempt) {
    const DWORD length = fill(DWORD(buffer.size()), buffer.data());
    if (length == 0) return false;
    if (length < buffer.size()) {
      buffer.resize(length);
      *text = buffer;
      return true;
    }
    buffer.assign(length + 1, '\0');
  }
  return false;
}

}  // namespace

PlatformFile PlatformOpenFile(const char* path, bool read, bool write, FileCreation creation,
                              FileSharing sharing) {
  const DWORD access = (read ? GENERIC_READ : 0) | (write ? GENERIC_WRITE : 0);
  const DWORD share = sharing == FileSharing::kReaders ? FILE_SHARE_READ : 0;
  const DWORD disposition = creation == FileCreation::kOpenAlways ? OPEN_ALWAYS : OPEN_EXISTING;
  // Without FILE_FLAG_BACKUP_SEMANTICS a directory does not open.
  const HANDLE file = CreateFileA(path, access, share, nullptr, disposition,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_RANDOM_ACCESS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return kInvalidFile;
  return reinterpret_cast<PlatformFile>(file);
}

bool PlatformCloseFile(PlatformFile file) {
  if (file == kInvalidFile || file == 0) return false;
  return CloseHandle(Handle(file)) != 0;
}

int64_t PlatformReadFile(PlatformFile file, void* buffer, uint32_t count) {
  uint32_t done = 0;
  while (done < count) {
    DWORD got = 0;
    if (!ReadFile(Handle(file), static_cast<char*>(buffer) + done, count - done, &got, nullptr)) {
      // A pipe whose writer has gone is at its end.
      if (GetLastError() == ERROR_BROKEN_PIPE) break;
      return done > 0 ? int64_t(done) : -1;
    }
    if (got == 0) break;
    done += got;
  }
  return done;
}

int64_t PlatformWriteFile(PlatformFile file, const void* buffer, uint32_t count) {
  uint32_t done = 0;
  while (done < count) {
    DWORD put = 0;
    if (!WriteFile(Handle(file), static_cast<const char*>(buffer) + done, count - done, &put,
                   nullptr) ||
        put == 0) {
      return done > 0 ? int64_t(done) : -1;
    }
    done += put;
  }
  return done;
}

bool PlatformFlushFile(PlatformFile file) {
  if (FlushFileBuffers(Handle(file))) return true;
  // Pipes, the console and devices have nothing to write through.
  const DWORD type = GetFileType(Handle(file));
  return type != FILE_TYPE_DISK && type != FILE_TYPE_UNKNOWN;
}

bool PlatformSeekFile(PlatformFile file, int64_t offset, SeekFrom from) {
  LARGE_INTEGER distance;
  distance.QuadPart = offset;
  return SetFilePointerEx(Handle(file), distance, nullptr,
                          from == SeekFrom::kStart ? FILE_BEGIN : FILE_END) != 0;
}

int64_t PlatformFileSize(PlatformFile file) {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(Handle(file), &size)) return -1;
  return size.QuadPart;
}

bool PlatformTruncateFile(PlatformFile file) {
  return SetEndOfFile(Handle(file)) != 0;
}

bool PlatformDeleteFile(const char* path) {
  return DeleteFileA(path) != 0;
}

bool PlatformCreateDirectory(const char* path) {
  return CreateDirectoryA(path, nullptr) != 0;
}

bool PlatformRemoveDirectory(const char* path) {
  return RemoveDirectoryA(path) != 0;
}

// MoveFileA never replaces an existing file, and fails on a file that is held open.
bool PlatformRenameFile(const char* from, const char* to) {
  return MoveFileA(from, to) != 0;
}

// The platform's find-first with its own wildcards ("*.*" is every name). The entries "." and
// ".." never count, so that a pattern matches the same names as on the other platforms.
bool PlatformPathExists(const char* pattern) {
  if (pattern[0] == '\0') return false;
  if (!HasWildcard(pattern)) return GetFileAttributesA(pattern) != INVALID_FILE_ATTRIBUTES;
  WIN32_FIND_DATAA entry;
  const HANDLE search = FindFirstFileA(pattern, &entry);
  if (search == INVALID_HANDLE_VALUE) return false;
  bool found = !IsDotEntry(entry.cFileName);
  while (!found && FindNextFileA(search, &entry)) found = !IsDotEntry(entry.cFileName);
  FindClose(search);
  return found;
}

bool PlatformGetCurrentDirectory(std::string* path) {
  return ReadText([](DWORD size, char* buffer) { return GetCurrentDirectoryA(size, buffer); },
                  path);
}

bool PlatformSetCurrentDirectory(const char* path) {
  return SetCurrentDirectoryA(path) != 0;
}

// GetTempPathA ends the directory with a backslash, so that a name can be appended directly.
bool PlatformGetTempDirectory(std::string* path) {
  return ReadText([](DWORD size, char* buffer) { return GetTempPathA(size, buffer); }, path);
}

bool PlatformGetExecutablePath(std::string* path) {
  std::string buffer(MAX_PATH, '\0');
  for (;;) {
    const DWORD length = GetModuleFileNameA(nullptr, buffer.data(), DWORD(buffer.size()));
    if (length == 0) return false;
    // A full buffer means the name was cut.
    if (length < buffer.size()) {
      buffer.resize(length);
      *path = buffer;
      return true;
    }
    if (buffer.size() >= 32768) return false;
    buffer.assign(buffer.size() * 2, '\0');
  }
}

}  // namespace velmora
