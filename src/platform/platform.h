// Everything the host needs of a platform, as one set of free functions. Each backend is a library
// of its own, chosen at link time: headless (velmora-run and the tests) on top of posix, which
// serves files, serial ports, time and fonts. Nothing outside src/platform depends on a platform
// header or a platform #ifdef.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace velmora {

// ---------------------------------------------------------------------------------------------
// Ending the program

// Hands every signal by which the user or the system asks the program to end to `handler`, with
// the signal's number: Ctrl-C everywhere, and where the platform has them Ctrl-Break, SIGTERM and
// SIGHUP (the terminal went away).
void PlatformCatchEndSignals(void (*handler)(int));

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
// Never negative (a font that claims otherwise advances by 0), so a pen only moves right.
int32_t PlatformGlyphAdvance(PlatformFont font, uint32_t code_point);

// ---------------------------------------------------------------------------------------------
// Window and message pump
//
// There is one window. Screen positions and sizes are pixels of the primary screen; rectangles
// are left and top inclusive, right and bottom exclusive. Texts handed to the platform (title,
// message boxes, command lines) are UTF-8. After the window has been destroyed every window call
// does nothing and the queries answer zero or false.

// Creates the window, minimized, untitled, 100 x 100 at the platform's chosen place; the window
// procedure is not called. False when there is no display to put it on. (The headless window
// exists from the start: creating it again only brings it back after a destruction.)
bool PlatformCreateWindow();

enum class PumpResult { kNone, kDispatched, kQuit };

// Takes at most one pending message. A quit message is reported, not dispatched; every other
// message is handled (the window procedure below, or the keyboard state) before this returns.
// A repaint request is a message that comes after everything else that waits.
PumpResult PlatformPumpMessage();
// Queues the quit message; the next pump that reaches it reports kQuit.
void PlatformPostQuit();
// Asks for the whole window to be repainted, without erasing, at a later pump.
void PlatformRequestRepaint();
// Destroys the window: the window procedure's destroy hand-over runs before this returns.
void PlatformDestroyWindow();
bool PlatformWindowExists();
// Looks at the queue without taking anything from it and without calling the window procedure:
// true when a close request (the close button, or the display going away) waits. The run loop
// asks this of a guest that has stopped pumping; the backend may meanwhile show the last picture
// again where the window was uncovered.
bool PlatformCloseWaiting();
// Called from a signal handler when the user asks the program to end (Ctrl-C): waits inside the
// backend (a beep) end early. Only sets a flag.
void PlatformInterrupt();

// Shows `width` x `height` pixels, colour references 0x00BBGGRR with rows `stride` pixels apart,
// at the top left of the client area; the rest of the client area turns black. Called by the
// window procedure's paint handling.
void PlatformPresent(const uint32_t* pixels, int32_t width, int32_t height, int32_t stride);

struct PlatformRect {
  int32_t left, top, right, bottom;
};

// Showing also activates; hiding and minimizing deactivate, restoring activates.
void PlatformShowWindow();
void PlatformHideWindow();
void PlatformMinimizeWindow();
// Back from minimized to the normal size and place.
void PlatformRestoreWindow();
bool PlatformIsMinimized();
// True when the window is the active window (it has the keyboard).
bool PlatformIsActive();
void PlatformSetTitle(const char* title);
// Draws attention to the window once (a flash of its caption or taskbar entry).
void PlatformFlashWindow();
// The outer rectangle (frame and caption included) in screen coordinates, and the client size.
void PlatformWindowRect(PlatformRect* outer);
void PlatformClientSize(int32_t* width, int32_t* height);
// Moves the outer rectangle's top-left corner; size and z-order stay.
void PlatformMoveWindow(int32_t x, int32_t y);
// Moves and sizes the outer rectangle and brings the window to the top of the z-order.
void PlatformPlaceWindow(int32_t x, int32_t y, int32_t width, int32_t height);
enum class WindowOrder { kBottom, kTop, kNotTopmost, kTopmost };
void PlatformSetWindowOrder(WindowOrder order);
// The primary screen's size.
void PlatformScreenSize(int32_t* width, int32_t* height);

// ---------------------------------------------------------------------------------------------
// Keyboard and mouse cursor
//
// Keys are virtual-key codes 0-255 as the guest names them (0x08 Backspace, 0x0D Enter, 0x10-0x12
// Shift, Control, Alt, 0x14 Caps Lock, 0x1B Esc, 0x20 Space, 0x25-0x28 arrows, 0x30-0x39 and
// 0x41-0x5A digits and letters, 0x60-0x6F keypad, 0x70-0x87 F1-F24, 0x90 Num Lock, 0x91 Scroll
// Lock, 0xA0-0xA5 left and right Shift, Control and Alt, 0xBA-0xDE punctuation, 1, 2 and 4 the
// left, right and middle mouse buttons). Each backend maps its own key names to them in one
// table (docs/platforms.md). A press of a left or right modifier also presses the generic code.

// The keyboard as the messages taken so far tell it: per key, bit 7 while down and bit 0
// toggled at every press (for Caps, Num and Scroll Lock: the lock is on). False when the
// platform cannot tell.
bool PlatformKeyboardState(uint8_t state[256]);

// The key as the input hardware has it now, whatever has been pumped. `pressed` tells whether
// the key went down since the previous asynchronous query of that key, and the query clears it.
struct PlatformKeyState {
  bool down;
  bool pressed;
};
PlatformKeyState PlatformAsyncKeyState(uint8_t key);

// Puts a key going down (or up) into the input, as if the user had pressed (or let go of) it:
// the asynchronous state changes at once, the message state when a pump takes the message.
// False when the platform took nothing.
bool PlatformInjectKey(uint8_t key, bool up);

// Cursor position in screen coordinates.
void PlatformCursorPosition(int32_t* x, int32_t* y);
// Raises (show) or lowers the cursor's display counter by one and returns it; the cursor is
// visible over the window while the counter is 0 or more. It starts at 0.
int32_t PlatformShowCursor(bool show);

// ---------------------------------------------------------------------------------------------
// Message boxes, sound and programs

enum class MessageButtons { kOk, kOkCancel, kYesNo, kYesNoCancel };
enum class MessageAnswer { kNone, kOk, kCancel, kYes, kNo };
// A modal box owned by the window, with the given buttons; returns when the user has answered.
// While it is open the window is repainted but takes no input, as a window disabled by its box.
// kNone when the box could not be shown (no window, no display) or was closed without an answer.
MessageAnswer PlatformMessageBox(const char* text, const char* caption, MessageButtons buttons);

// Sounds a tone of `frequency` Hz (37 to 32767) for `duration` milliseconds and returns when it
// has ended; without a sound device it only waits.
void PlatformBeep(uint32_t frequency, uint32_t duration);

enum class LaunchResult {
  kStarted,
  kNotFound,
  kPathNotFound,
  kBadFormat,
  kAccessDenied,
  kNoResources
};
// Starts the program a command line names, with its arguments, detached from this process and
// without a shell (no expansion, no redirection). `show` asks for its window to be shown where
// the platform can choose.
LaunchResult PlatformLaunch(const char* command_line, bool show);

// The window procedure: implemented by the host, called by the backend from inside a pump, a
// window placement, a message box or the destruction of the window. Positions are client-area
// pixels.
void WindowMouseMove(int16_t x, int16_t y);
void WindowLeftButtonDown(int16_t x, int16_t y);
void WindowLeftButtonUp(int16_t x, int16_t y);
void WindowLeftDoubleClick(int16_t x, int16_t y);
void WindowCloseRequest();
void WindowPaint();
void WindowDestroy();

// The desktop program, implemented by the host: called by the backend's program entry with the
// command line after the program's own name (words that hold blanks in double quotes); returns
// the exit status.
int DesktopMain(const char* command_line);

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

// ---------------------------------------------------------------------------------------------
// Debugger connections
//
// TCP on the loopback interface only: the debugger stub serves avr-gdb on 127.0.0.1.

using PlatformSocket = intptr_t;
constexpr PlatformSocket kInvalidSocket = -1;

// Listens on 127.0.0.1:port; port 0 takes a free port. `bound_port` receives the port listened
// on. kInvalidSocket when the port cannot be had.
PlatformSocket PlatformListenLoopback(uint16_t port, uint16_t* bound_port);
// Waits at most `timeout` ms for a connection. False when the listener failed; true otherwise,
// with `connection` kInvalidSocket when none came in time (or a signal ended the wait).
bool PlatformAcceptConnection(PlatformSocket listener, uint32_t timeout,
                              PlatformSocket* connection);
// Receives up to `count` bytes, waiting at most `timeout` ms for the first: the count received,
// 0 when nothing came in time (or a signal ended the wait), -1 when the peer closed the
// connection or it failed.
int64_t PlatformReceive(PlatformSocket socket, void* buffer, uint32_t count, uint32_t timeout);
// Sends every byte; false when the connection failed (a closed peer never stops the host).
bool PlatformSend(PlatformSocket socket, const void* buffer, uint32_t count);
void PlatformCloseSocket(PlatformSocket socket);

// ---------------------------------------------------------------------------------------------
// Memory for generated code
//
// Never writable and executable at once. Where the host allows it, the same pages are mapped
// twice: `write` read-write for the code generator, `execute` read-execute for running what it
// wrote, so that writing code needs no change of protection (and no flush of other processors'
// address translations). Otherwise the two are one mapping that starts read-write; whole pages
// of it are switched to read-execute once written, and back before they are written again.
struct CodeMemory {
  uint8_t* write = nullptr;
  const uint8_t* execute = nullptr;
};

// Maps `bytes` (a multiple of the page size); false when the host cannot map memory that may
// execute.
bool PlatformMapCodeMemory(size_t bytes, CodeMemory* memory);
// Switches the pages covering [start, start + bytes) of a single mapping to read-execute
// (`executable`) or read-write; false when the host refuses.
bool PlatformProtectCodeMemory(void* start, size_t bytes, bool executable);
// The size of the pages PlatformProtectCodeMemory works on.
size_t PlatformCodePageSize();

}  // namespace velmora
