// Group 7 file and directory services: the guest names open files by slot (B(0x60)) and passes
// names, buffers and values from 0x60; every service writes the status byte.
#include <string>

#include "io/file_layer.h"
#include "io/io_services.h"
#include "io/program_path.h"
#include "io/sandbox.h"
#include "io/slots.h"
#include "platform/platform.h"
#include "services/gate.h"
#include "services/guest.h"
#include "services/status.h"
#include "text/primitives.h"

namespace velmora {
namespace {

constexpr uint8_t kStatusOk = 0;
constexpr uint8_t kStatusNotOpen = 1;  // also: open failed, path not available or too long
constexpr uint8_t kStatusRange = 2;
constexpr uint8_t kStatusNameTooLong = 3;
constexpr uint8_t kStatusEndOfFile = 255;

uint8_t SlotArgument() {
  return GuestByte(kArgumentAddress);
}
uint16_t WordArgument(uint32_t offset) {
  return GuestWord(kArgumentAddress + offset);
}

// A guest name as a terminated host string; names are cut at the end of the data space.
std::string GuestName(uint32_t offset) {
  return std::string(GuestString(WordArgument(offset)));
}

// The executable's path as the guest may see it: in a sandbox, its name in the sandbox's root.
bool ExecutablePath(std::string* path) {
  if (!PlatformGetExecutablePath(path)) return false;
  if (SandboxActive()) *path = "\\" + path->substr(path->find_last_of('\\') + 1);
  return true;
}

// The loaded program's path as the guest may see it (inside the sandbox in a sandbox).
std::string ProgramPath() {
  const std::string path = GuestProgramPath();
  return SandboxActive() && !path.empty() ? SandboxProgramPath(path) : path;
}

// Refuses a buffer that reaches 0xFFFF or beyond; `empty` also writes a zero byte at its start.
bool InRange(uint32_t buffer, uint32_t length, bool empty) {
  if (buffer + length < 0xFFFF) return true;
  if (empty) SetGuestByte(buffer, 0);
  SetStatus(kStatusRange);
  return false;
}

// The open slot named by B(0x60), or nullptr after reporting status 1.
FileSlotEntry* OpenSlot() {
  FileSlotEntry* slot = &FileSlot[SlotArgument()];
  if (slot->open) return slot;
  SetStatus(kStatusNotOpen);
  return nullptr;
}

// After a read: status 255 when it came up short, else the layer's code.
void ReportRead() {
  if (EndOfFileFlag) HostError = kStatusEndOfFile;
  ReportHostError();
}

// Copies a path with its terminator when it fits `size` bytes, else leaves an empty string.
void DeliverPath(uint32_t buffer, uint32_t size, const std::string& path, uint8_t too_long) {
  if (path.size() >= size) {
    SetGuestByte(buffer, 0);
    SetStatus(too_long);
    return;
  }
  WriteGuestString(buffer, path);
  SetStatus(kStatusOk);
}

// 40: closes what the slot holds, then opens the name at W(0x62) in mode B(0x61).
void ServiceFileOpen() {
  FileSlotEntry* slot = &FileSlot[SlotArgument()];
  if (slot->open) {
    FileClose(slot->handle);
    slot->open = 0;
  }
  const std::string name = GuestName(2);
  slot->handle = FileOpen(name.c_str(), GuestByte(0x61));
  const bool opened = HostError == 0 && slot->handle != kInvalidHandle;
  slot->open = opened;
  SetStatus(opened ? kStatusOk : kStatusNotOpen);
}

// 41. The platform releases the handle even when its close reports a failure, so the slot is
// closed either way; a failure shows as status 1.
void ServiceFileClose() {
  FileSlotEntry* slot = OpenSlot();
  if (!slot) return;
  FileClose(slot->handle);
  slot->open = 0;
  SetStatus(HostError == 0 ? kStatusOk : kStatusNotOpen);
}

void ServiceFileFlush() {
  if (FileSlotEntry* slot = OpenSlot()) {
    FileFlush(slot->handle);
    ReportHostError();
  }
}

void ServiceFileDelete() {
  FileDelete(GuestName(0).c_str());
  ReportHostError();
}

void ServiceDirCreate() {
  DirCreate(GuestName(0).c_str());
  ReportHostError();
}

void ServiceFileExists() {
  SetStatus(kStatusOk);
  SetGuestByte(kArgumentAddress, FileExists(GuestName(0).c_str()) ? 1 : 0);
}

void ServiceFileSeekStart() {
  if (FileSlotEntry* slot = OpenSlot()) {
    FileSeekStart(slot->handle);
    ReportHostError();
  }
}

void ServiceFileSeek() {
  if (FileSlotEntry* slot = OpenSlot()) {
    FileSeek(slot->handle, GuestInt32(0x61));
    ReportHostError();
  }
}

void ServiceFileSeekEnd() {
  if (FileSlotEntry* slot = OpenSlot()) {
    FileSeekEnd(slot->handle);
    ReportHostError();
  }
}

void ServiceFileReadByte() {
  if (FileSlotEntry* slot = OpenSlot()) {
    SetGuestByte(kArgumentAddress, FileReadByte(slot->handle));
    ReportRead();
  }
}

void ServiceFileReadWord() {
  if (FileSlotEntry* slot = OpenSlot()) {
    SetGuestWord(kArgumentAddress, FileReadWord(slot->handle));
    ReportRead();
  }
}

void ServiceFileReadDword() {
  if (FileSlotEntry* slot = OpenSlot()) {
    SetGuestDword(kArgumentAddress, FileReadDword(slot->handle));
    ReportRead();
  }
}

// 52: a 64-bit read that takes four bytes and clears the upper half.
void ServiceFileReadQword() {
  if (FileSlotEntry* slot = OpenSlot()) {
    SetGuestDword(kArgumentAddress, FileReadDword(slot->handle));
    SetGuestDword(kArgumentAddress + 4, 0);
    ReportRead();
  }
}

void ServiceFileWriteByte() {
  if (FileSlotEntry* slot = OpenSlot()) {
    FileWriteByte(slot->handle, GuestByte(0x61));
    ReportHostError();
  }
}

void ServiceFileWriteWord() {
  if (FileSlotEntry* slot = OpenSlot()) {
    FileWriteWord(slot->handle, GuestWord(0x61));
    ReportHostError();
  }
}

void ServiceFileWriteDword() {
  if (FileSlotEntry* slot = OpenSlot()) {
    FileWriteDword(slot->handle, GuestDword(0x61));
    ReportHostError();
  }
}

void ServiceFileWriteQword() {
  if (FileSlotEntry* slot = OpenSlot()) {
    FileWriteQword(slot->handle, GuestDword(0x61), GuestDword(0x65));
    ReportHostError();
  }
}

void ReadBlock(uint16_t buffer, uint16_t count, bool empty) {
  if (!InRange(buffer, count, empty)) return;
  if (FileSlotEntry* slot = OpenSlot()) {
    FileReadBlock(slot->handle, count, GuestBuffer(buffer, count));
    ReportRead();
  }
}

// 57: count first, buffer second; 99: buffer first.
void ServiceFileReadBlock() {
  ReadBlock(WordArgument(3), WordArgument(1), false);
}
void ServiceFileReadBlockBufferFirst() {
  ReadBlock(WordArgument(1), WordArgument(3), true);
}

void ServiceFileWriteBlock() {
  const uint16_t count = WordArgument(1);
  const uint16_t buffer = WordArgument(3);
  if (!InRange(buffer, count, false)) return;
  if (FileSlotEntry* slot = OpenSlot()) {
    FileWriteBlock(slot->handle, count, GuestBuffer(buffer, count));
    ReportHostError();
  }
}

void ServiceFileSize() {
  if (FileSlotEntry* slot = OpenSlot()) {
    SetGuestDword(kArgumentAddress, FileSize(slot->handle));
    ReportHostError();
  }
}

void ServiceDirRemove() {
  DirRemove(GuestName(0).c_str());
  ReportHostError();
}

void ServiceFileRename() {
  FileRename(GuestName(0).c_str(), GuestName(2).c_str());
  ReportHostError();
}

// 62 and 63: the buffer is known to lie inside the data space after the range check.
void ServiceGetCurrentDir() {
  const uint16_t buffer = WordArgument(0);
  const uint16_t size = WordArgument(2);
  if (!InRange(buffer, size, true)) return;
  FileGetCurrentDir(size, reinterpret_cast<char*>(GuestBuffer(buffer, size)));
  ReportHostError();
}

void ServiceGetTempPath() {
  const uint16_t buffer = WordArgument(0);
  const uint16_t size = WordArgument(2);
  if (!InRange(buffer, size, true)) return;
  FileGetTempPath(size, reinterpret_cast<char*>(GuestBuffer(buffer, size)));
  ReportHostError();
}

void ServiceSetCurrentDir() {
  FileSetCurrentDir(GuestName(0).c_str());
  ReportHostError();
}

// 68: the executable's name without directory and without its last extension.
void ServiceExecutableName() {
  const uint16_t buffer = WordArgument(0);
  const uint16_t size = WordArgument(2);
  if (!InRange(buffer, size, true)) return;
  std::string path;
  if (!ExecutablePath(&path)) {
    SetGuestByte(buffer, 0);
    SetStatus(kStatusNotOpen);
    return;
  }
  PathStem(path);
  DeliverPath(buffer, size, path, kStatusNameTooLong);
}

// 69: a path that does not fit whole gives an empty string, never a cut-off directory.
void ServiceExecutableDirectory() {
  const uint16_t buffer = WordArgument(0);
  const uint16_t size = WordArgument(2);
  if (!InRange(buffer, size, true)) return;
  std::string path;
  if (!ExecutablePath(&path) || path.size() >= size) {
    SetGuestByte(buffer, 0);
    SetStatus(kStatusNotOpen);
    return;
  }
  KeepBeforeLast(path, '\\');
  DeliverPath(buffer, size, path, kStatusNotOpen);
}

void ServiceFileReadLine() {
  const uint16_t buffer = WordArgument(1);
  const uint16_t size = WordArgument(3);
  if (!InRange(buffer, size, true)) return;
  if (FileSlotEntry* slot = OpenSlot()) {
    SetGuestWord(kArgumentAddress,
                 uint16_t(FileReadLine(slot->handle, size, GuestBuffer(buffer, size))));
    ReportRead();
  }
}

void ServiceFileWriteText() {
  if (FileSlotEntry* slot = OpenSlot()) {
    SetGuestWord(kArgumentAddress, uint16_t(FileWriteText(slot->handle, GuestName(1).c_str())));
    ReportHostError();
  }
}

void ServiceFileWriteLine() {
  if (FileSlotEntry* slot = OpenSlot()) {
    SetGuestWord(kArgumentAddress, uint16_t(FileWriteLine(slot->handle, GuestName(1).c_str())));
    ReportHostError();
  }
}

// 102: a program loaded from the current directory (no backslash in its path) lies in ".".
void ServiceProgramDirectory() {
  const uint16_t buffer = WordArgument(0);
  const uint16_t size = WordArgument(2);
  if (!InRange(buffer, size, true)) return;
  std::string directory = ProgramPath();
  if (!directory.empty() && directory.find('\\') == std::string::npos) directory = ".";
  KeepBeforeLast(directory, '\\');
  DeliverPath(buffer, size, directory, kStatusNotOpen);
}

void ServiceProgramPath() {
  const uint16_t buffer = WordArgument(0);
  const uint16_t size = WordArgument(2);
  if (!InRange(buffer, size, true)) return;
  DeliverPath(buffer, size, ProgramPath(), kStatusNotOpen);
}

const ServiceRow kFileServices[] = {
    {7, 40, ServiceFileOpen, "file open"},
    {7, 41, ServiceFileClose, "file close"},
    {7, 42, ServiceFileFlush, "file flush"},
    {7, 43, ServiceFileDelete, "file delete"},
    {7, 44, ServiceDirCreate, "create directory"},
    {7, 45, ServiceFileExists, "file exists"},
    {7, 46, ServiceFileSeekStart, "file seek start"},
    {7, 47, ServiceFileSeek, "file seek"},
    {7, 48, ServiceFileSeekEnd, "file seek end"},
    {7, 49, ServiceFileReadByte, "file read byte"},
    {7, 50, ServiceFileReadWord, "file read word"},
    {7, 51, ServiceFileReadDword, "file read dword"},
    {7, 52, ServiceFileReadQword, "file read qword"},
    {7, 53, ServiceFileWriteByte, "file write byte"},
    {7, 54, ServiceFileWriteWord, "file write word"},
    {7, 55, ServiceFileWriteDword, "file write dword"},
    {7, 56, ServiceFileWriteQword, "file write qword"},
    {7, 57, ServiceFileReadBlock, "file read block"},
    {7, 58, ServiceFileWriteBlock, "file write block"},
    {7, 59, ServiceFileSize, "file size"},
    {7, 60, ServiceDirRemove, "remove directory"},
    {7, 61, ServiceFileRename, "file rename"},
    {7, 62, ServiceGetCurrentDir, "get current directory"},
    {7, 63, ServiceGetTempPath, "get temp path"},
    {7, 64, ServiceSetCurrentDir, "set current directory"},
    {7, 68, ServiceExecutableName, "executable name"},
    {7, 69, ServiceExecutableDirectory, "executable directory"},
    {7, 98, ServiceFileReadLine, "file read line"},
    {7, 99, ServiceFileReadBlockBufferFirst, "file read block, buffer first"},
    {7, 100, ServiceFileWriteText, "file write text"},
    {7, 101, ServiceFileWriteLine, "file write line"},
    {7, 102, ServiceProgramDirectory, "program directory"},
    {7, 103, ServiceProgramPath, "program path"},
};

}  // namespace

std::span<const ServiceRow> FileServiceRows() {
  return kFileServices;
}

}  // namespace velmora
