// Files and directories on POSIX. Guest paths use the backslash as directory separator; it is
// mapped to '/' here, and paths handed back use the backslash again.
//
// "No sharing": every open takes an exclusive non-blocking flock, so a second open of the same
// file, by this process or by another Velmora, fails. Delete and rename refuse a file that is
// held that way, as they would on a platform with sharing modes.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__linux__)
#include <linux/magic.h>
#include <sys/vfs.h>
#endif

#include <cstring>
#include <string>

#include "platform/platform.h"

#if defined(__APPLE__)
#include <mach-o/dyld.h>
#endif

namespace velmora {
namespace {

std::string HostPath(const char* path) {
  std::string host(path);
  for (char& c : host) {
    if (c == '\\') c = '/';
  }
  return host;
}

std::string GuestPath(std::string path) {
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

// True when some open in any process holds the lock of this regular file. Nothing else is
// opened to look: opening a FIFO completes a waiting writer's open, opening a port raises its
// modem lines, and a symbolic link is not what an open holds.
bool FileIsHeld(const std::string& path) {
  struct stat info;
  if (lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return false;
  const bool held = flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  close(fd);
  return held;
}

bool HasWildcard(const char* text) {
  return std::strpbrk(text, "*?") != nullptr;
}

// True when `name` matches `pattern`, in which only * and ? are wildcards: a bracket stands for
// itself. (Backslashes never reach here; they became separators.)
bool MatchesWildcards(const std::string& pattern, const char* name) {
  std::string escaped;
  for (char c : pattern) {
    if (c == '[') escaped += '\\';
    escaped += c;
  }
  return fnmatch(escaped.c_str(), name, 0) == 0;
}

// procfs would hand the guest the host's own memory (/proc/self/mem) and its layout.
bool ExposesHostProcess(int fd) {
#if defined(__linux__)
  struct statfs volume;
  return fstatfs(fd, &volume) != 0 || volume.f_type == PROC_SUPER_MAGIC;
#else
  (void)fd;
  return false;
#endif
}

}  // namespace

PlatformFile PlatformOpenFile(const char* path, bool read, bool write, FileCreation creation,
                              FileSharing sharing) {
  int flags = read && write ? O_RDWR : write ? O_WRONLY : O_RDONLY;
  if (creation == FileCreation::kOpenAlways) flags |= O_CREAT;
  // Non-blocking only for the open itself, so that a FIFO without a partner cannot hang the host.
  const std::string host = HostPath(path);
  const int fd = open(host.c_str(), flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
  if (fd < 0) return kInvalidFile;
  struct stat info;
  const bool host_internals = ExposesHostProcess(fd);
  const int lock = sharing == FileSharing::kReaders ? LOCK_SH : LOCK_EX;
  if (host_internals || fstat(fd, &info) != 0 || S_ISDIR(info.st_mode) ||
      (flock(fd, lock | LOCK_NB) != 0 && errno == EWOULDBLOCK)) {
    close(fd);
    return kInvalidFile;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

bool PlatformCloseFile(PlatformFile file) {
  if (file < 0 || file > INT32_MAX) return false;
  return close(int(file)) == 0;
}

int64_t PlatformReadFile(PlatformFile file, void* buffer, uint32_t count) {
  uint32_t done = 0;
  while (done < count) {
    const ssize_t n = read(int(file), static_cast<char*>(buffer) + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return done > 0 ? int64_t(done) : -1;
    if (n == 0) break;
    done += uint32_t(n);
  }
  return done;
}

int64_t PlatformWriteFile(PlatformFile file, const void* buffer, uint32_t count) {
  uint32_t done = 0;
  while (done < count) {
    const ssize_t n = write(int(file), static_cast<const char*>(buffer) + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return done > 0 ? int64_t(done) : -1;
    done += uint32_t(n);
  }
  return done;
}

bool PlatformFlushFile(PlatformFile file) {
  if (fsync(int(file)) == 0) return true;
  // Pipes and devices have nothing to write through.
  return errno == EINVAL || errno == EROFS;
}

bool PlatformSeekFile(PlatformFile file, int64_t offset, SeekFrom from) {
  return lseek(int(file), off_t(offset), from == SeekFrom::kStart ? SEEK_SET : SEEK_END) >= 0;
}

int64_t PlatformFileSize(PlatformFile file) {
  struct stat info;
  if (fstat(int(file), &info) != 0) return -1;
  return int64_t(info.st_size);
}

bool PlatformTruncateFile(PlatformFile file) {
  const off_t position = lseek(int(file), 0, SEEK_CUR);
  return position >= 0 && ftruncate(int(file), position) == 0;
}

bool PlatformDeleteFile(const char* path) {
  const std::string host = HostPath(path);
  struct stat info;
  if (lstat(host.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return false;
  if (FileIsHeld(host)) return false;
  return unlink(host.c_str()) == 0;
}

bool PlatformCreateDirectory(const char* path) {
  return mkdir(HostPath(path).c_str(), 0777) == 0;
}

bool PlatformRemoveDirectory(const char* path) {
  return rmdir(HostPath(path).c_str()) == 0;
}

// Never replaces an existing file: a rename onto a taken name fails.
bool PlatformRenameFile(const char* from, const char* to) {
  const std::string source = HostPath(from);
  const std::string target = HostPath(to);
  struct stat info;
  if (lstat(source.c_str(), &info) != 0) return false;
  if (lstat(target.c_str(), &info) == 0) return false;
  if (FileIsHeld(source)) return false;
  return rename(source.c_str(), target.c_str()) == 0;
}

// Wildcards count in the last component only. A pattern ending in ".*" also matches names
// without any dot, so that "*.*" means every name, as guests expect.
bool PlatformPathExists(const char* pattern) {
  const std::string host = HostPath(pattern);
  if (host.empty()) return false;
  struct stat info;
  if (!HasWildcard(host.c_str())) return lstat(host.c_str(), &info) == 0;
  const size_t slash = host.rfind('/');
  const std::string directory = slash == std::string::npos ? "."
                                : slash == 0               ? "/"
                                                           : host.substr(0, slash);
  const std::string name = slash == std::string::npos ? host : host.substr(slash + 1);
  if (name.empty() || HasWildcard(directory.c_str())) return false;
  std::string without_extension;
  const bool any_extension = name.size() >= 2 && name.compare(name.size() - 2, 2, ".*") == 0;
  if (any_extension) without_extension = name.substr(0, name.size() - 2);
  DIR* dir = opendir(directory.c_str());
  if (!dir) return false;
  bool found = false;
  while (!found) {
    const dirent* entry = readdir(dir);
    if (!entry) break;
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    found = MatchesWildcards(name, entry->d_name) ||
            (any_extension && std::strchr(entry->d_name, '.') == nullptr &&
             MatchesWildcards(without_extension, entry->d_name));
  }
  closedir(dir);
  return found;
}

bool PlatformGetCurrentDirectory(std::string* path) {
  char buffer[4096];
  if (!getcwd(buffer, sizeof buffer)) return false;
  *path = GuestPath(buffer);
  return true;
}

bool PlatformSetCurrentDirectory(const char* path) {
  return chdir(HostPath(path).c_str()) == 0;
}

// Ends with a separator, so that a name can be appended directly.
bool PlatformGetTempDirectory(std::string* path) {
  const char* tmp = getenv("TMPDIR");
  std::string directory = tmp && *tmp ? tmp : "/tmp";
  if (directory.back() != '/') directory += '/';
  *path = GuestPath(directory);
  return true;
}

bool PlatformGetExecutablePath(std::string* path) {
#if defined(__APPLE__)
  char buffer[4096];
  uint32_t size = sizeof buffer;
  if (_NSGetExecutablePath(buffer, &size) != 0) return false;
  char resolved[PATH_MAX];
  if (!realpath(buffer, resolved)) return false;
  *path = GuestPath(resolved);
  return true;
#else
  char buffer[4096];
  const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length <= 0) return false;
  buffer[length] = 0;
  *path = GuestPath(buffer);
  return true;
#endif
}

}  // namespace velmora
