// Everything the host needs of a platform, as one set of free functions. Each backend (headless,
// sdl, win32, with posix shared by the first two) is a library of its own, chosen at link time.
// Nothing outside src/platform depends on a platform header or a platform #ifdef.
#pragma once

#include <cstdint>
#include <string>

namespace velmora {

// ---------------------------------------------------------------------------------------------
// Time

// Milliseconds since an arbitrary start, wrapping at 2^32.
uint32_t PlatformTickCount();
void PlatformSleep(uint32_t milliseconds);

struct PlatformDateTime {
  uint16_t year;
  uint8_t month;    // 1-12
  uint8_t day;      // 1-31
  uint8_t weekday;  // 0 = Sunday
  uint8_t hour, minute, second;
  uint16_t millisecond;
};
void PlatformLocalTime(PlatformDateTime* time);
void PlatformUtcTime(PlatformDateTime* time);

// ---------------------------------------------------------------------------------------------
// Fonts
//
// Scalable system fonts found by face name (the nearest installed face stands in for an unknown
// name) and rendered glyph by glyph to 8-bit coverage. Layout, underline, strike-out and drawing
// are portable (src/graphics/text.cpp).

using PlatformFont = intptr_t;
constexpr PlatformFont kNoFont = 0;

// A font whose cell (ascent plus descent) is `height` pixels; 0 asks for the default height.
// Returns kNoFont only when no font at all can be had. `fixed_pitch` asks for a monospace face.
PlatformFont PlatformCreateFont(const char* face, int32_t height, bool bold, bool italic,
                                bool fixed_pitch);
void PlatformReleaseFont(PlatformFont font);

struct PlatformFontMetrics {
  int32_t ascent;            // pixels above the baseline
  int32_t line_height;       // ascent plus descent: the distance between lines
  int32_t underline_offset;  // rows below the baseline of the underline's top row
  int32_t strikeout_offset;  // rows above the baseline of the strike-out's top row
  int32_t stroke;            // thickness of both lines
};
PlatformFontMetrics PlatformGetFontMetrics(PlatformFont font);

// One glyph: its coverage rows (0 clear to 255 full) and where they go relative to the pen
// position on the baseline. The coverage stays valid until the next call for the same font.
struct PlatformGlyph {
  int32_t left, top;  // offset of the bitmap's top-left from the pen; top counts up
  int32_t width, height, pitch;
  const uint8_t* coverage;
  int32_t advance;  // whole pixels
};
// False (and an empty glyph) for a code point the font cannot render.
bool PlatformRenderGlyph(PlatformFont font, uint32_t code_point, PlatformGlyph* glyph);
// The advance PlatformRenderGlyph gives, without rendering: layout and measuring cost no pixels.
int32_t PlatformGlyphAdvance(PlatformFont font, uint32_t code_point);

// ---------------------------------------------------------------------------------------------
// Window and message pump

enum class PumpResult { kNone, kDispatched, kQuit };

// Takes at most one pending message. A quit message is reported, not dispatched; every other
// message is handed to the window procedure below before this returns.
PumpResult PlatformPumpMessage();
// Queues the quit message; the next pump that reaches it reports kQuit.
void PlatformPostQuit();
// Asks for the whole window to be repainted, without erasing, at a later pump.
void PlatformRequestRepaint();
// Destroys the window: the window procedure's destroy hand-over runs before this returns.
void PlatformDestroyWindow();
bool PlatformWindowExists();
// Gives the client area this size and centres the window on the screen.
void PlatformFitWindow(int32_t width, int32_t height);
// Cursor position in screen coordinates.
void PlatformCursorPosition(int32_t* x, int32_t* y);

// The window procedure: implemented by the host, called by the backend from inside a pump, a
// window placement or the destruction of the window. Positions are client-area pixels.
void WindowMouseMove(int16_t x, int16_t y);
void WindowLeftButtonDown(int16_t x, int16_t y);
void WindowLeftButtonUp(int16_t x, int16_t y);
void WindowLeftDoubleClick(int16_t x, int16_t y);
void WindowCloseRequest();
void WindowPaint();
void WindowDestroy();

// ---------------------------------------------------------------------------------------------
// Files and directories
//
// Paths arrive as the guest wrote them: a backslash separates directories on every platform.
// Paths handed back (current directory, executable path) use the backslash as well, so that the
// guest's path services cut them the same way everywhere.

using PlatformFile = intptr_t;
constexpr PlatformFile kInvalidFile = -1;

enum class FileCreation { kOpenExisting, kOpenAlways };
// kExclusive: nobody else may open the file meanwhile. kReaders: other readers may, writers not
// (the host's own read-only loading, so that several runs can start the same program at once).
enum class FileSharing { kExclusive, kReaders };

// Opens with the sharing given: a file that another opener holds against it (here or elsewhere,
// as far as the platform can tell) cannot be opened. The position starts at 0; nothing truncates
// or appends. Files that expose the host process itself (procfs: its memory, its layout) are
// refused.
PlatformFile PlatformOpenFile(const char* path, bool read, bool write, FileCreation creation,
                              FileSharing sharing = FileSharing::kExclusive);
bool PlatformCloseFile(PlatformFile file);
// Returns the bytes transferred, or -1 on failure.
int64_t PlatformReadFile(PlatformFile file, void* buffer, uint32_t count);
int64_t PlatformWriteFile(PlatformFile file, const void* buffer, uint32_t count);
bool PlatformFlushFile(PlatformFile file);
enum class SeekFrom { kStart, kEnd };
bool PlatformSeekFile(PlatformFile file, int64_t offset, SeekFrom from);
// Size in bytes, or -1 on failure.
int64_t PlatformFileSize(PlatformFile file);
// Cuts the file at the current position.
bool PlatformTruncateFile(PlatformFile file);

bool PlatformDeleteFile(const char* path);
bool PlatformCreateDirectory(const char* path);
bool PlatformRemoveDirectory(const char* path);
bool PlatformRenameFile(const char* from, const char* to);
// True when any file or directory matches; * and ? are wildcards in the last component.
bool PlatformPathExists(const char* pattern);
bool PlatformDirectoryExists(const char* path);
bool PlatformGetCurrentDirectory(std::string* path);
bool PlatformSetCurrentDirectory(const char* path);
bool PlatformGetTempDirectory(std::string* path);
bool PlatformGetExecutablePath(std::string* path);
// The position of the next read or write, or -1 on failure.
int64_t PlatformFilePosition(PlatformFile file);

// Confinement (the sandbox). After PlatformConfineFiles(root), every path the functions above
// take is relative to `root`: names joined by '/', without "." and ".." (the host's resolver
// hands them over so), the empty path naming the root itself. Each is resolved beneath `root`:
// a symbolic link that leads out of it, absolute or through "..", fails the operation, and so
// does a name swapped for such a link while it is resolved. The current directory cannot be
// read or set meanwhile (the host keeps the guest's own). nullptr lifts the confinement.
bool PlatformConfineFiles(const char* root);

// ---------------------------------------------------------------------------------------------
// Serial ports
//
// Port n is COMn; each backend maps port numbers to its devices in one documented place.

using PlatformSerial = intptr_t;
constexpr PlatformSerial kInvalidSerial = -1;

// Line settings as parsed from the guest's settings text.
struct SerialSettings {
  uint32_t baud;
  uint8_t data_bits;    // 5-8
  char parity;          // 'N', 'E', 'O', 'M' (mark), 'S' (space)
  uint8_t stop_halves;  // stop bits times two: 2, 3 or 4
  bool dtr, rts;        // lines raised after applying
};

// Opens an existing port for reading and writing, without sharing.
PlatformSerial PlatformOpenSerial(uint8_t port);
// True when port n is a stand-in of the backend's own (a loopback) rather than a host device.
bool PlatformSerialIsStandIn(uint8_t port);
bool PlatformCloseSerial(PlatformSerial port);
bool PlatformConfigureSerial(PlatformSerial port, const SerialSettings& settings);
// A read waits at most `total` ms, and at most `interval` ms (0: no limit) after each byte.
bool PlatformSetSerialTimeouts(PlatformSerial port, uint32_t interval, uint32_t total);
// Returns the bytes transferred, or -1 on failure. Writes wait as long as the port needs; a
// signal to the host ends the wait (and later ones on the port), so that the host can stop.
int64_t PlatformWriteSerial(PlatformSerial port, const void* buffer, uint32_t count);
int64_t PlatformReadSerial(PlatformSerial port, void* buffer, uint32_t count);
// Modem status bits: CTS 0x10, DSR 0x20, RING 0x40.
bool PlatformSerialModemStatus(PlatformSerial port, uint32_t* status);
enum class SerialLine { kDtr, kRts };
bool PlatformSetSerialLine(PlatformSerial port, SerialLine line, bool on);
bool PlatformPurgeSerial(PlatformSerial port, bool output, bool input);
// Bytes waiting in the receive or the transmit queue, or -1 on failure.
int64_t PlatformSerialInputCount(PlatformSerial port);
int64_t PlatformSerialOutputCount(PlatformSerial port);

}  // namespace velmora
