// Files and directories on POSIX. Guest paths use the backslash as directory separator; it is
// mapped to '/' here, and paths handed back use the backslash again.
//
// "No sharing": every open takes an exclusive non-blocking flock, so a second open of the same
// file, by this process or by another Velmora, fails. Delete and rename refuse a file that is
// held that way, as they would on a platform with sharing modes.
//
// Every operation works on a descriptor and a name (the *at calls), so that confined paths are
// resolved beneath the sandbox's root by the kernel (openat2 with RESOLVE_BENEATH) or, where the
// kernel cannot, by a walk that opens one name at a time without following links and follows
// links inside the root by hand.
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
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <sys/vfs.h>
#endif

#include <cstring>
#include <deque>
#include <string>
#include <vector>

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

// The confinement: a descriptor of the root (-1: none) and how paths are resolved beneath it.
struct Confinement {
  int root = -1;
  bool walk = false;
};
Confinement Confined;

// A name never resolves through more links than this (the kernel's own limit).
constexpr int kMaxLinks = 40;
// Attempts at a resolution whose names change under it.
constexpr int kResolveAttempts = 8;

// A path made ready for an *at call: the directory that holds it and its last name. Unconfined,
// the working directory and the whole host path.
struct PathAt {
  int dir = AT_FDCWD;
  std::string name;
  PathAt() = default;
  PathAt(const PathAt&) = delete;
  PathAt& operator=(const PathAt&) = delete;
  ~PathAt() {
    if (dir >= 0) close(dir);
  }
};

std::vector<std::string> SplitNames(const char* path) {
  std::vector<std::string> names;
  std::string name;
  for (const char* c = path;; ++c) {
    if (*c == '/' || *c == '\0') {
      if (!name.empty()) names.push_back(std::move(name));
      name.clear();
      if (*c == '\0') break;
    } else {
      name += *c;
    }
  }
  return names;
}

#if defined(__linux__)
int OpenBeneathKernel(const char* path, int flags, mode_t mode) {
  open_how how = {};
  how.flags = uint64_t(flags) | O_CLOEXEC;
  how.mode = flags & O_CREAT ? mode : 0;
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
  for (int attempt = 0; attempt < kResolveAttempts; ++attempt) {
    const long fd = syscall(SYS_openat2, Confined.root, *path ? path : ".", &how, sizeof how);
    if (fd >= 0 || errno != EAGAIN) return int(fd);
  }
  return -1;
}
#else
int OpenBeneathKernel(const char*, int, mode_t) {
  errno = ENOSYS;
  return -1;
}
#endif

// Directories held during a walk only serve as starting points of *at calls.
#if defined(O_PATH)
constexpr int kDirectoryHandle = O_PATH | O_DIRECTORY;
#else
constexpr int kDirectoryHandle = O_RDONLY | O_DIRECTORY;
#endif

// Resolves `path` beneath the root one name at a time: a link inside the root is read and its
// names take its place, ".." (from a link) steps back to the directory before, never above the
// root, and every directory is opened without following links, so that a name swapped for a link
// meanwhile fails instead of leading out. Leaves the directory that holds the last name in `at`,
// with the name: "." when the path ends on a directory it already holds. With `follow_last` a
// last name that is a link is followed as well; a last name that does not exist is fine (it may
// be about to be created).
bool WalkBeneath(const char* path, bool follow_last, PathAt* at) {
  std::vector<int> dirs = {fcntl(Confined.root, F_DUPFD_CLOEXEC, 0)};
  const auto fail = [&dirs](int error) {
    for (int fd : dirs) {
      if (fd >= 0) close(fd);
    }
    errno = error;
    return false;
  };
  if (dirs[0] < 0) return fail(errno);
  const std::vector<std::string> split = SplitNames(path);
  std::deque<std::string> names(split.begin(), split.end());
  std::string last = ".";
  int links = 0;
  while (!names.empty()) {
    std::string name = std::move(names.front());
    names.pop_front();
    if (name == ".") continue;
    if (name == "..") {
      if (dirs.size() == 1) return fail(EXDEV);
      close(dirs.back());
      dirs.pop_back();
      continue;
    }
    if (names.empty() && !follow_last) {
      last = name;
      break;
    }
    struct stat info;
    if (fstatat(dirs.back(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
      if (names.empty() && errno == ENOENT) {
        last = name;
        break;
      }
      return fail(errno);
    }
    if (S_ISLNK(info.st_mode)) {
      char target[PATH_MAX];
      const ssize_t length = readlinkat(dirs.back(), name.c_str(), target, sizeof target - 1);
      if (length <= 0) return fail(length < 0 ? errno : ENOENT);
      target[length] = '\0';
      if (++links > kMaxLinks) return fail(ELOOP);
      if (target[0] == '/') return fail(EXDEV);
      const std::vector<std::string> inside = SplitNames(target);
      names.insert(names.begin(), inside.begin(), inside.end());
      continue;
    }
    if (names.empty()) {
      last = name;
      break;
    }
    const int fd = openat(dirs.back(), name.c_str(), kDirectoryHandle | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return fail(errno);
    dirs.push_back(fd);
  }
  for (size_t i = 0; i + 1 < dirs.size(); ++i) close(dirs[i]);
  at->dir = dirs.back();
  at->name = last;
  return true;
}

// Opens `path`, following a last link, wherever files are confined: -1 (errno set) on failure.
int OpenPath(const char* path, int flags, mode_t mode) {
  if (Confined.root < 0) return open(HostPath(path).c_str(), flags | O_CLOEXEC, mode);
  if (!Confined.walk) return OpenBeneathKernel(path, flags, mode);
  for (int attempt = 0; attempt < kResolveAttempts; ++attempt) {
    PathAt at;
    if (!WalkBeneath(path, true, &at)) return -1;
    const int nofollow = at.name == "." ? 0 : O_NOFOLLOW;
    const int fd = openat(at.dir, at.name.c_str(), flags | nofollow | O_CLOEXEC, mode);
    // A name that became a link after the walk looked at it: walk again.
    if (fd >= 0 || errno != ELOOP) return fd;
  }
  errno = ELOOP;
  return -1;
}

// The directory holding the path's last name, and the name, for operations on the name itself
// (a last link is not followed).
bool LocatePath(const char* path, PathAt* at) {
  if (Confined.root < 0) {
    at->name = HostPath(path);
    return true;
  }
  if (Confined.walk) return WalkBeneath(path, false, at);
  // The root itself is "." in the root.
  std::string directory(path);
  const size_t slash = directory.rfind('/');
  at->name = slash == std::string::npos ? directory : directory.substr(slash + 1);
  directory.resize(slash == std::string::npos ? 0 : slash);
  if (at->name.empty()) at->name.push_back('.');
  at->dir = OpenBeneathKernel(directory.c_str(), kDirectoryHandle, 0);
  return at->dir >= 0;
}

// True when some open in any process holds the lock of this regular file. Nothing else is
// opened to look: opening a FIFO completes a waiting writer's open, opening a port raises its
// modem lines, and a symbolic link is not what an open holds.
bool FileIsHeld(const PathAt& at) {
  struct stat info;
  if (fstatat(at.dir, at.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode)) {
    return false;
  }
  const int fd =
      openat(at.dir, at.name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW);
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
  const int fd = OpenPath(path, flags | O_NOCTTY | O_NONBLOCK, 0666);
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

int64_t PlatformFilePosition(PlatformFile file) {
  return int64_t(lseek(int(file), 0, SEEK_CUR));
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
  PathAt at;
  struct stat info;
  if (!LocatePath(path, &at) || fstatat(at.dir, at.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 ||
      S_ISDIR(info.st_mode) || FileIsHeld(at)) {
    return false;
  }
  return unlinkat(at.dir, at.name.c_str(), 0) == 0;
}

bool PlatformCreateDirectory(const char* path) {
  PathAt at;
  return LocatePath(path, &at) && mkdirat(at.dir, at.name.c_str(), 0777) == 0;
}

bool PlatformRemoveDirectory(const char* path) {
  PathAt at;
  return LocatePath(path, &at) && unlinkat(at.dir, at.name.c_str(), AT_REMOVEDIR) == 0;
}

// Never replaces an existing file: a rename onto a taken name fails.
bool PlatformRenameFile(const char* from, const char* to) {
  PathAt source, target;
  struct stat info;
  if (!LocatePath(from, &source) || !LocatePath(to, &target)) return false;
  if (fstatat(source.dir, source.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) return false;
  if (fstatat(target.dir, target.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) return false;
  if (FileIsHeld(source)) return false;
  return renameat(source.dir, source.name.c_str(), target.dir, target.name.c_str()) == 0;
}

// Wildcards count in the last component only. A pattern ending in ".*" also matches names
// without any dot, so that "*.*" means every name, as guests expect.
bool PlatformPathExists(const char* pattern) {
  const std::string host = HostPath(pattern);
  if (host.empty() && Confined.root < 0) return false;
  struct stat info;
  if (!HasWildcard(host.c_str())) {
    PathAt at;
    return LocatePath(pattern, &at) &&
           fstatat(at.dir, at.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
  }
  const size_t slash = host.rfind('/');
  const std::string directory = slash == std::string::npos ? (Confined.root < 0 ? "." : "")
                                : slash == 0               ? "/"
                                                           : host.substr(0, slash);
  const std::string name = slash == std::string::npos ? host : host.substr(slash + 1);
  if (name.empty() || HasWildcard(directory.c_str())) return false;
  std::string without_extension;
  const bool any_extension = name.size() >= 2 && name.compare(name.size() - 2, 2, ".*") == 0;
  if (any_extension) without_extension = name.substr(0, name.size() - 2);
  const int fd = OpenPath(directory.c_str(), O_RDONLY | O_DIRECTORY, 0);
  DIR* dir = fd >= 0 ? fdopendir(fd) : nullptr;
  if (!dir) {
    if (fd >= 0) close(fd);
    return false;
  }
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

bool PlatformDirectoryExists(const char* path) {
  const int fd = OpenPath(path, kDirectoryHandle, 0);
  if (fd < 0) return false;
  close(fd);
  return true;
}

bool PlatformGetCurrentDirectory(std::string* path) {
  if (Confined.root >= 0) return false;
  char buffer[4096];
  if (!getcwd(buffer, sizeof buffer)) return false;
  *path = GuestPath(buffer);
  return true;
}

bool PlatformSetCurrentDirectory(const char* path) {
  if (Confined.root >= 0) return false;
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

// VELMORA_SANDBOX_RESOLVE=walk resolves by the walk where the kernel could do it (for tests).
bool PlatformConfineFiles(const char* root) {
  if (Confined.root >= 0) close(Confined.root);
  Confined = {};
  if (root == nullptr) return true;
  const int fd = open(root, kDirectoryHandle | O_CLOEXEC);
  if (fd < 0) return false;
  Confined.root = fd;
  const char* method = getenv("VELMORA_SANDBOX_RESOLVE");
  Confined.walk = method != nullptr && std::strcmp(method, "walk") == 0;
  if (!Confined.walk) {
    // Kernels before 5.6 (and filters that refuse the call) resolve by the walk.
    const int probe = OpenBeneathKernel("", kDirectoryHandle, 0);
    if (probe >= 0) close(probe);
    Confined.walk = probe < 0;
  }
  return true;
}

}  // namespace velmora
