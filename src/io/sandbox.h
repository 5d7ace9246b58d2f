// The sandbox: confines a guest's files to one host directory, for programs nobody has checked.
// velmora-run takes it from --sandbox DIR (and --sandbox-quota BYTES); every program that runs
// guests may take it from the environment (VELMORA_SANDBOX, VELMORA_SANDBOX_QUOTA) with
// ReadSandboxEnvironment. StartHost enters it after the program has loaded, before the guest
// runs.
//
// Inside a sandbox every guest path goes through ResolveGuestPath, the one resolver: it takes
// the path as the guest's platform would (either slash separates, a leading separator or drive
// names the sandbox's root, trailing dots and spaces of a name do not count) and refuses what
// could reach elsewhere or mean something else (".." above the root, network and device
// namespaces, device names such as NUL or COM1 in any folder, stream names, control
// characters). The platform then resolves the result beneath the root, so that no symbolic link
// leads out either. Ports cannot be opened and programs cannot be launched; writes that would
// make files grow beyond the quota fail as on a full disk.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace velmora {

struct SandboxRequest {
  std::string directory;  // empty: no sandbox
  uint64_t quota = 0;     // bytes the guest's writes may add to files in all; 0: no limit
};

// What StartHost enters; empty unless a program asks for a sandbox.
extern SandboxRequest RequestedSandbox;

// VELMORA_SANDBOX (the directory) and VELMORA_SANDBOX_QUOTA (bytes, decimal or 0x hex) into
// RequestedSandbox. False, with the reason, for a quota that is no number.
bool ReadSandboxEnvironment(std::string* error);

// Confines guest paths to `request.directory` from now on. The guest's current directory
// becomes the host's working directory when that lies inside, else the sandbox's root. False
// (and no sandbox) when the directory cannot be used.
bool EnterSandbox(const SandboxRequest& request);
// Lifts the confinement (for tests; a run never leaves its sandbox).
void LeaveSandbox();
bool SandboxActive();

// Wildcards (* and ?) are allowed in the last name of a pattern only.
enum class GuestPathKind { kName, kPattern };

// Outside a sandbox: the guest's path as given. Inside: the path beneath the sandbox's root,
// names joined by '/', the root itself empty; false when the path is refused.
bool ResolveGuestPath(const char* guest, std::string* host,
                      GuestPathKind kind = GuestPathKind::kName);

// The guest's current directory inside the sandbox, as the guest sees it: "\" for the root,
// "\sub\dir" below it.
std::string SandboxCurrentDirectory();
// False when the path is refused or names no directory.
bool SetSandboxCurrentDirectory(const char* guest);
// The loaded program's path as the guest sees it inside the sandbox: its name in the folder the
// guest started in ("\sub\prog.hex"; "\prog.hex" for a program from outside the sandbox).
std::string SandboxProgramPath(const std::string& guest_form_path);

// How many of `count` bytes written at the file's position fit the write quota; the growth of
// the file they cause is counted from now on.
uint32_t TakeWriteQuota(PlatformFile file, uint32_t count);

}  // namespace velmora
