// The host file layer: operations on platform file handles that the loader, the image services
// and the guest's file services share. Each sets HostError to 0 on entry and to its own code on
// failure; reads also report a short read through EndOfFileFlag.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace velmora {

using FileHandle = PlatformFile;
constexpr FileHandle kInvalidHandle = kInvalidFile;

// Set by every read that got fewer bytes than it asked for; not kept per file.
extern uint8_t EndOfFileFlag;

// Modes 0-2 create a missing file, 3-5 need an existing one; read, write, read and write.
enum OpenMode : uint8_t {
  kOpenReadAlways = 0,
  kOpenWriteAlways = 1,
  kOpenReadWriteAlways = 2,
  kOpenRead = 3,
  kOpenWrite = 4,
  kOpenReadWrite = 5,
};

FileHandle FileOpen(const char* name, uint8_t mode);  // HostError 1 for a mode of 6 or more
// Read only, existing files only, like mode 3, but other readers may hold the file too: the
// host's loading of a program, so that several runs may start the same program at once.
FileHandle FileOpenSharedRead(const char* name);
void FileClose(FileHandle file);                                       // 2
void FileFlush(FileHandle file);                                       // 10
uint8_t FileReadByte(FileHandle file);                                 // 7
uint16_t FileReadWord(FileHandle file);                                // 7
uint32_t FileReadDword(FileHandle file);                               // 7
void FileReadBlock(FileHandle file, uint32_t count, uint8_t* buffer);  // 7
// Reads one line into a buffer of `size` bytes; CR and LF are consumed and not delivered.
uint32_t FileReadLine(FileHandle file, uint32_t size, uint8_t* buffer);       // 7, 255
void FileWriteByte(FileHandle file, uint8_t value);                           // 8
void FileWriteWord(FileHandle file, uint16_t value);                          // 8
void FileWriteDword(FileHandle file, uint32_t value);                         // 8
void FileWriteQword(FileHandle file, uint32_t low, uint32_t high);            // 8
void FileWriteBlock(FileHandle file, uint32_t count, const uint8_t* buffer);  // 8
uint32_t FileWriteText(FileHandle file, const char* text);                    // 8
uint32_t FileWriteLine(FileHandle file, const char* text);                    // 8
void FileSeek(FileHandle file, int32_t position);                             // 5
void FileSeekStart(FileHandle file);                                          // 5
void FileSeekEnd(FileHandle file);                                            // 5
uint32_t FileSize(FileHandle file);                                           // 12
void FileDelete(const char* name);                                            // 3
void DirRemove(const char* name);                                             // 3
void DirCreate(const char* name);                                             // 9
void FileRename(const char* from, const char* to);                            // 4
bool FileExists(const char* name);                                            // HostError untouched
// Write the current or temporary directory, terminated, into a buffer of `size` bytes; one that
// does not fit leaves an empty string and the error.
void FileGetCurrentDir(uint32_t size, char* buffer);    // 11
void FileSetCurrentDir(const char* name);               // 14
uint32_t FileGetTempPath(uint32_t size, char* buffer);  // 13

}  // namespace velmora
