#include "io/sandbox.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <vector>

namespace velmora {

SandboxRequest RequestedSandbox;

namespace {

struct SandboxState {
  bool active = false;
  uint64_t quota = 0;  // 0: no limit
  uint64_t added = 0;  // bytes the guest's writes have added to files
  // Names from the root: the guest's current directory, and the folder it started in.
  std::vector<std::string> current;
  std::vector<std::string> start;
};
SandboxState Sandbox;

// Longest name and longest resolved path the sandbox hands to the platform.
constexpr size_t kLongestName = 255;
constexpr size_t kLongestPath = 4000;

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

char Upper(char c) {
  return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
}

// Names the guest's platform gives to devices in every folder, whatever extension follows:
// NUL, CON, PRN, AUX, COM0-COM9, LPT0-LPT9 (also with the superscript digits 1 to 3),
// CONIN$, CONOUT$ and CLOCK$.
bool IsDeviceName(std::string_view name) {
  std::string base(name.substr(0, name.find('.')));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  for (char& c : base) c = Upper(c);
  for (const char* device : {"NUL", "CON", "PRN", "AUX", "CONIN$", "CONOUT$", "CLOCK$"}) {
    if (base == device) return true;
  }
  if (base.size() != 4 || (base.compare(0, 3, "COM") != 0 && base.compare(0, 3, "LPT") != 0)) {
    return false;
  }
  return std::strchr("0123456789\xB9\xB2\xB3", base[3]) != nullptr;
}

// Characters no name may hold on the guest's platform; the colon would also name a stream.
bool AllowedInName(unsigned char c, bool wildcards) {
  if (c < 0x20 || std::strchr("<>:\"|", c) != nullptr) return false;
  return wildcards || (c != '*' && c != '?');
}

// The names from the root that a guest path leads to, or false when it is refused.
bool GuestNames(std::string_view path, GuestPathKind kind, std::vector<std::string>* names) {
  if (path.empty()) return false;
  // \\server\share, \\.\COM1 and \\?\C:\ lead to other machines and devices.
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) return false;
  std::vector<std::string> result;
  const bool drive = path.size() >= 2 && path[1] == ':' &&
                     ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
  if (drive) {
    // A drive's root is the sandbox's root; "C:name" would be relative to a current directory
    // of that drive, which the sandbox does not have.
    if (path.size() == 2 || !IsSeparator(path[2])) return false;
    path.remove_prefix(3);
  } else if (IsSeparator(path[0])) {
    path.remove_prefix(1);
  } else {
    result = Sandbox.current;
  }
  size_t at = 0;
  for (;;) {
    size_t end = at;
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    std::string_view name = path.substr(at, end - at);
    const bool last = end >= path.size();
    if (name == "..") {
      if (result.empty()) return false;
      result.pop_back();
    } else if (!name.empty() && name != ".") {
      // Trailing dots and spaces do not count ("name. " is "name"); a name of nothing but dots
      // and spaces other than . and .. means something different on every platform.
      if (name.find_first_not_of(". ") == std::string_view::npos) return false;
      while (name.back() == '.' || name.back() == ' ') name.remove_suffix(1);
      if (name.size() > kLongestName || IsDeviceName(name)) return false;
      for (const char c : name) {
        if (!AllowedInName(uint8_t(c), kind == GuestPathKind::kPattern && last)) return false;
      }
      result.emplace_back(name);
    }
    if (last) break;
    at = end + 1;
  }
  *names = std::move(result);
  return true;
}

std::string Join(const std::vector<std::string>& names, char separator) {
  std::string text;
  for (const std::string& name : names) {
    if (!text.empty()) text += separator;
    text += name;
  }
  return text;
}

bool ParseBytes(const char* text, uint64_t* value) {
  if (text == nullptr || *text == '\0' || *text == '-' || *text == '+') return false;
  char* end = nullptr;
  errno = 0;
  const unsigned long long parsed = std::strtoull(text, &end, 0);
  if (errno != 0 || *end != '\0') return false;
  *value = parsed;
  return true;
}

}  // namespace

bool ReadSandboxEnvironment(std::string* error) {
  const char* directory = std::getenv("VELMORA_SANDBOX");
  const char* quota = std::getenv("VELMORA_SANDBOX_QUOTA");
  if (directory != nullptr && *directory != '\0') RequestedSandbox.directory = directory;
  if (quota != nullptr && *quota != '\0' && !ParseBytes(quota, &RequestedSandbox.quota)) {
    *error = std::string("VELMORA_SANDBOX_QUOTA is no number of bytes: ") + quota;
    return false;
  }
  return true;
}

bool EnterSandbox(const SandboxRequest& request) {
  LeaveSandbox();
  if (request.directory.empty() || !PlatformConfineFiles(request.directory.c_str())) return false;
  Sandbox.active = true;
  Sandbox.quota = request.quota;
  // The guest starts where the host is, when that lies inside the sandbox.
  std::error_code error;
  const std::filesystem::path root = std::filesystem::canonical(request.directory, error);
  const std::filesystem::path here =
      error ? std::filesystem::path() : std::filesystem::canonical(".", error);
  const std::filesystem::path inside =
      error ? std::filesystem::path() : here.lexically_relative(root);
  if (!inside.empty() && *inside.begin() != "..") {
    for (const std::filesystem::path& name : inside) {
      if (name != ".") Sandbox.start.push_back(name.string());
    }
  }
  Sandbox.current = Sandbox.start;
  return true;
}

void LeaveSandbox() {
  if (Sandbox.active) PlatformConfineFiles(nullptr);
  Sandbox = SandboxState();
}

bool SandboxActive() {
  return Sandbox.active;
}

bool ResolveGuestPath(const char* guest, std::string* host, GuestPathKind kind) {
  if (!Sandbox.active) {
    *host = guest;
    return true;
  }
  std::vector<std::string> names;
  if (!GuestNames(guest, kind, &names)) return false;
  *host = Join(names, '/');
  return host->size() <= kLongestPath;
}

std::string SandboxCurrentDirectory() {
  return "\\" + Join(Sandbox.current, '\\');
}

bool SetSandboxCurrentDirectory(const char* guest) {
  std::vector<std::string> names;
  if (!GuestNames(guest, GuestPathKind::kName, &names)) return false;
  const std::string host = Join(names, '/');
  if (host.size() > kLongestPath || !PlatformDirectoryExists(host.c_str())) return false;
  Sandbox.current = std::move(names);
  return true;
}

std::string SandboxProgramPath(const std::string& guest_form_path) {
  const size_t cut = guest_form_path.find_last_of('\\');
  std::vector<std::string> names = Sandbox.start;
  names.push_back(cut == std::string::npos ? guest_form_path : guest_form_path.substr(cut + 1));
  return "\\" + Join(names, '\\');
}

uint32_t TakeWriteQuota(PlatformFile file, uint32_t count) {
  if (!Sandbox.active || Sandbox.quota == 0) return count;
  const int64_t position = PlatformFilePosition(file);
  const int64_t size = PlatformFileSize(file);
  if (position < 0 || size < 0) return 0;
  // The file grows by whatever the write puts beyond its end, a gap before it included.
  const uint64_t room = Sandbox.quota - Sandbox.added;
  const uint64_t end_allowed = uint64_t(size) + room;
  uint32_t allowed = count;
  if (uint64_t(position) + count > end_allowed) {
    allowed = uint64_t(position) >= end_allowed ? 0 : uint32_t(end_allowed - uint64_t(position));
  }
  const uint64_t end = uint64_t(position) + allowed;
  if (allowed > 0 && end > uint64_t(size)) Sandbox.added += end - uint64_t(size);
  return allowed;
}

}  // namespace velmora
