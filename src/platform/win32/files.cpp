// Files and directories on KERNEL32. Guest paths are Windows paths already; the 8-bit (ANSI code
// page) functions take them unchanged.
//
// "No sharing" is the platform's own: every open asks for share mode 0, so a second open of the
// same file, by this process or any other, fails, and so do delete and rename of a file held that
// way. The host's loading of the HEX program shares with readers only, so that several runs can
// start the same program at once.
//
// Confined (the sandbox), every operation resolves its path one name at a time from a handle of
// the root, each folder opened relative to the one before (NtCreateFile with a root directory)
// and kept only if its final path lies beneath the root; the last name is then created, opened,
// deleted or renamed relative to its folder's handle, and what was opened is checked again. A
// link that leads out is refused. Windows resolves a relative name from the folder's handle, so a
// folder swapped for a link out meanwhile cannot carry an operation out; wine resolves it from
// the folder's path anew, so there a file or folder made through the swap is found outside by the
// check and removed at once.
#include <windows.h>
#include <winternl.h>

#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "platform/platform.h"

extern "C" NTSTATUS NTAPI NtQueryDirectoryFile(HANDLE, HANDLE, PVOID, PVOID, PIO_STATUS_BLOCK,
                                               PVOID, ULONG, FILE_INFORMATION_CLASS, BOOLEAN,
                                               PUNICODE_STRING, BOOLEAN);

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

// ---------------------------------------------------------------------------------------------
// Confinement

struct Confinement {
  HANDLE root = nullptr;  // nullptr: none
  std::wstring final;     // the root's final path, \\?\C:\...
};
Confinement Confined;

constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// STATUS_OBJECT_NAME_NOT_FOUND: the folder holds no such name.
constexpr NTSTATUS kNoSuchName = NTSTATUS(0xC0000034);

// A name in the system's code page as UTF-16.
std::wstring Wide(const char* text, size_t length) {
  const int size = MultiByteToWideChar(CP_ACP, 0, text, int(length), nullptr, 0);
  std::wstring wide(size_t(size > 0 ? size : 0), L'\0');
  if (size > 0) MultiByteToWideChar(CP_ACP, 0, text, int(length), wide.data(), size);
  return wide;
}

std::wstring FinalPath(HANDLE handle) {
  std::wstring path(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 3; ++attempt) {
    const DWORD length = GetFinalPathNameByHandleW(handle, path.data(), DWORD(path.size()),
                                                   FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0) return std::wstring();
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.assign(length + 1, L'\0');
  }
  return std::wstring();
}

bool SameText(const wchar_t* a, int a_length, const wchar_t* b, int b_length) {
  return CompareStringOrdinal(a, a_length, b, b_length, TRUE) == CSTR_EQUAL;
}

// True when the object behind the handle is the root or lies beneath it, wherever the names that
// led to it pointed.
bool Beneath(HANDLE handle) {
  const std::wstring path = FinalPath(handle);
  const std::wstring& root = Confined.final;
  if (path.size() < root.size() ||
      !SameText(path.c_str(), int(root.size()), root.c_str(), int(root.size()))) {
    return false;
  }
  return path.size() == root.size() || path[root.size()] == L'\\';
}

// Opens or creates `name` relative to the folder handle `folder`; nullptr on failure.
HANDLE OpenRelative(HANDLE folder, const std::wstring& name, ACCESS_MASK access, ULONG share,
                    ULONG disposition, ULONG options, NTSTATUS* status = nullptr) {
  UNICODE_STRING text;
  text.Buffer = const_cast<wchar_t*>(name.c_str());
  text.Length = text.MaximumLength = USHORT(name.size() * sizeof(wchar_t));
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, folder, nullptr);
  IO_STATUS_BLOCK io;
  HANDLE handle = nullptr;
  const NTSTATUS result =
      NtCreateFile(&handle, access | SYNCHRONIZE, &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL,
                   share, disposition, options | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
  if (status) *status = result;
  return NT_SUCCESS(result) ? handle : nullptr;
}

// A confined path resolved but for its last name: the folder that holds it, opened and checked,
// and that name (empty for the root itself, whose folder is then the root).
struct Resolved {
  HANDLE folder = nullptr;
  std::wstring last;
  ~Resolved() {
    if (folder) CloseHandle(folder);
  }
};

bool Resolve(const char* path, Resolved* resolved) {
  std::vector<std::wstring> names;
  for (const char* at = path; *at;) {
    const char* end = std::strchr(at, '/');
    const size_t length = end ? size_t(end - at) : std::strlen(at);
    names.push_back(Wide(at, length));
    at += length + (end ? 1 : 0);
  }
  HANDLE folder = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), Confined.root, GetCurrentProcess(), &folder, 0, FALSE,
                       DUPLICATE_SAME_ACCESS)) {
    return false;
  }
  for (size_t i = 0; i + 1 < names.size(); ++i) {
    const HANDLE next = OpenRelative(folder, names[i], FILE_TRAVERSE | FILE_LIST_DIRECTORY,
                                     kShareAll, FILE_OPEN, FILE_DIRECTORY_FILE);
    CloseHandle(folder);
    if (!next) return false;
    if (!Beneath(next)) {
      CloseHandle(next);
      return false;
    }
    folder = next;
  }
  resolved->folder = folder;
  resolved->last = names.empty() ? std::wstring() : names.back();
  return true;
}

// Marks the object for deletion when its handle closes.
bool DeleteByHandle(HANDLE handle) {
  FILE_DISPOSITION_INFO disposition = {TRUE};
  const bool deleted =
      SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition);
  CloseHandle(handle);
  return deleted;
}

PlatformFile OpenConfined(const char* path, ACCESS_MASK access, ULONG share,
                          FileCreation creation) {
  Resolved at;
  if (!Resolve(path, &at) || at.last.empty()) return kInvalidFile;
  constexpr ULONG kOptions = FILE_NON_DIRECTORY_FILE | FILE_RANDOM_ACCESS;
  NTSTATUS status;
  HANDLE file = OpenRelative(at.folder, at.last, access, share, FILE_OPEN, kOptions, &status);
  // Created only where nothing is: a dangling link that leads out is not followed.
  if (!file && creation == FileCreation::kOpenAlways && status == kNoSuchName) {
    file = OpenRelative(at.folder, at.last, access | DELETE, share, FILE_CREATE, kOptions);
    // Where the folder was swapped for a link out meanwhile and the system resolved the name
    // anew (wine does), what was made outside goes again.
    if (file && !Beneath(file)) {
      DeleteByHandle(file);
      return kInvalidFile;
    }
  }
  if (!file) return kInvalidFile;
  if (!Beneath(file)) {
    CloseHandle(file);
    return kInvalidFile;
  }
  return reinterpret_cast<PlatformFile>(file);
}

// Whether a name matching `pattern` (the system's wildcards) is in the folder; links are names
// like any other, not followed. The folder is opened anew: a handle keeps the first pattern it
// was asked for.
bool NameInFolder(HANDLE parent, const std::wstring& pattern) {
  const HANDLE folder =
      OpenRelative(parent, L"", FILE_LIST_DIRECTORY, kShareAll, FILE_OPEN, FILE_DIRECTORY_FILE);
  if (!folder) return false;
  UNICODE_STRING mask;
  mask.Buffer = const_cast<wchar_t*>(pattern.c_str());
  mask.Length = mask.MaximumLength = USHORT(pattern.size() * sizeof(wchar_t));
  alignas(8) unsigned char buffer[4096];
  IO_STATUS_BLOCK io;
  BOOLEAN restart = TRUE;
  while (NT_SUCCESS(NtQueryDirectoryFile(folder, nullptr, nullptr, nullptr, &io, buffer,
                                         sizeof buffer, FileDirectoryInformation, TRUE,
                                         restart ? &mask : nullptr, restart))) {
    restart = FALSE;
    const auto* entry = reinterpret_cast<const FILE_DIRECTORY_INFORMATION*>(buffer);
    const std::wstring name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
    if (name != L"." && name != L"..") {
      CloseHandle(folder);
      return true;
    }
  }
  CloseHandle(folder);
  return false;
}

// Opens a confined name itself for deletion or renaming: a link, not what it leads to, where the
// system opens links as themselves. Under wine, which follows a POSIX link, the open reaches the
// link's target, and one outside is refused.
HANDLE OpenToRemove(const Resolved& at, ULONG options) {
  const HANDLE handle = OpenRelative(at.folder, at.last, DELETE, kShareAll, FILE_OPEN,
                                     options | FILE_OPEN_REPARSE_POINT);
  if (handle && !Beneath(handle)) {
    CloseHandle(handle);
    return nullptr;
  }
  return handle;
}

// Gives the open object the name `name` in `folder`, never replacing one. The folder is named by
// its handle; where the system takes no handle there (wine), by its final path.
bool RenameInto(HANDLE moving, HANDLE folder, const std::wstring& name) {
  for (int form = 0; form < 2; ++form) {
    std::wstring target = name;
    if (form == 1) {
      const std::wstring path = FinalPath(folder);
      // \\?\C:\... as the NT name \??\C:\...
      if (path.size() < 4 || path.compare(0, 4, L"\\\\?\\") != 0) return false;
      target = L"\\??\\" + path.substr(4) + L"\\" + name;
    }
    const size_t name_bytes = target.size() * sizeof(wchar_t);
    const size_t size = sizeof(FILE_RENAME_INFO) + name_bytes;
    auto* rename = static_cast<FILE_RENAME_INFO*>(::operator new(size, std::nothrow));
    if (!rename) return false;
    std::memset(rename, 0, size);
    rename->ReplaceIfExists = FALSE;
    rename->RootDirectory = form == 0 ? folder : nullptr;
    rename->FileNameLength = DWORD(name_bytes);
    std::memcpy(rename->FileName, target.c_str(), name_bytes);
    const bool renamed = SetFileInformationByHandle(moving, FileRenameInfo, rename, DWORD(size));
    const DWORD error = GetLastError();
    ::operator delete(rename);
    if (renamed) return true;
    if (error != ERROR_INVALID_PARAMETER) return false;
  }
  return false;
}

}  // namespace

PlatformFile PlatformOpenFile(const char* path, bool read, bool write, FileCreation creation,
                              FileSharing sharing) {
  const DWORD access = (read ? GENERIC_READ : 0) | (write ? GENERIC_WRITE : 0);
  const DWORD share = sharing == FileSharing::kReaders ? FILE_SHARE_READ : 0;
  if (Confined.root) return OpenConfined(path, access, share, creation);
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

int64_t PlatformFilePosition(PlatformFile file) {
  LARGE_INTEGER none = {}, position;
  if (!SetFilePointerEx(Handle(file), none, &position, FILE_CURRENT)) return -1;
  return position.QuadPart;
}

int64_t PlatformFileSize(PlatformFile file) {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(Handle(file), &size)) return -1;
  return size.QuadPart;
}

bool PlatformTruncateFile(PlatformFile file) {
  return SetEndOfFile(Handle(file)) != 0;
}

// A held file cannot be deleted: its share mode 0 keeps out the open for deletion. Confined, the
// name itself goes, a link included, never what it leads to.
bool PlatformDeleteFile(const char* path) {
  if (!Confined.root) return DeleteFileA(path) != 0;
  Resolved at;
  if (!Resolve(path, &at) || at.last.empty()) return false;
  const HANDLE file = OpenToRemove(at, FILE_NON_DIRECTORY_FILE);
  return file && DeleteByHandle(file);
}

bool PlatformCreateDirectory(const char* path) {
  if (!Confined.root) return CreateDirectoryA(path, nullptr) != 0;
  Resolved at;
  if (!Resolve(path, &at) || at.last.empty()) return false;
  const HANDLE directory = OpenRelative(at.folder, at.last, FILE_LIST_DIRECTORY | DELETE, kShareAll,
                                        FILE_CREATE, FILE_DIRECTORY_FILE);
  if (!directory) return false;
  // As for files: a folder made outside through a swapped folder goes again.
  if (!Beneath(directory)) {
    DeleteByHandle(directory);
    return false;
  }
  CloseHandle(directory);
  return true;
}

bool PlatformRemoveDirectory(const char* path) {
  if (!Confined.root) return RemoveDirectoryA(path) != 0;
  Resolved at;
  if (!Resolve(path, &at) || at.last.empty()) return false;
  const HANDLE directory = OpenToRemove(at, FILE_DIRECTORY_FILE);
  return directory && DeleteByHandle(directory);
}

// MoveFileA never replaces an existing file, and fails on a file that is held open. Confined,
// the name moves from its folder to the target's, both resolved beneath the root.
bool PlatformRenameFile(const char* from, const char* to) {
  if (!Confined.root) return MoveFileA(from, to) != 0;
  Resolved source, target;
  if (!Resolve(from, &source) || source.last.empty() || !Resolve(to, &target) ||
      target.last.empty()) {
    return false;
  }
  const HANDLE moving = OpenToRemove(source, 0);
  if (!moving) return false;
  const bool renamed = RenameInto(moving, target.folder, target.last);
  CloseHandle(moving);
  return renamed;
}

// The platform's find-first with its own wildcards ("*.*" is every name). The entries "." and
// ".." never count, so that a pattern matches the same names as on the other platforms.
bool PlatformPathExists(const char* pattern) {
  if (Confined.root) {
    Resolved at;
    if (!Resolve(pattern, &at)) return false;
    return at.last.empty() || NameInFolder(at.folder, at.last);
  }
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

bool PlatformDirectoryExists(const char* path) {
  if (!Confined.root) {
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  }
  Resolved at;
  if (!Resolve(path, &at)) return false;
  if (at.last.empty()) return true;
  const HANDLE directory =
      OpenRelative(at.folder, at.last, FILE_TRAVERSE, kShareAll, FILE_OPEN, FILE_DIRECTORY_FILE);
  if (!directory) return false;
  const bool inside = Beneath(directory);
  CloseHandle(directory);
  return inside;
}

bool PlatformGetCurrentDirectory(std::string* path) {
  if (Confined.root) return false;
  return ReadText([](DWORD size, char* buffer) { return GetCurrentDirectoryA(size, buffer); },
                  path);
}

bool PlatformSetCurrentDirectory(const char* path) {
  if (Confined.root) return false;
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

bool PlatformConfineFiles(const char* root) {
  if (Confined.root) CloseHandle(Confined.root);
  Confined = Confinement();
  if (root == nullptr) return true;
  const HANDLE handle = CreateFileA(root, FILE_TRAVERSE | FILE_LIST_DIRECTORY, kShareAll, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  std::wstring final = FinalPath(handle);
  if (final.empty() || (GetFileAttributesW(final.c_str()) & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    CloseHandle(handle);
    return false;
  }
  while (final.size() > 1 && final.back() == L'\\') final.pop_back();
  Confined.root = handle;
  Confined.final = final;
  return true;
}

}  // namespace velmora
