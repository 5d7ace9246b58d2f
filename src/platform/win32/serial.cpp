// Serial ports on KERNEL32: port n is the device \\.\COMn, opened without sharing. (Under wine,
// COMn is whatever the prefix's dosdevices\comn link names, /dev/ttyS<n-1> by default.) As on the
// other platforms, VELMORA_COM<n>=loopback makes port n a stand-in of no device: its reads return
// what was written to it, with DTR wired to DSR and RTS to CTS, as a loopback plug would.
//
// A handle is an index into a small table that keeps the port's handle, its number and whether
// its timeouts are set: until the guest sets them, a read takes what arrives within 1 ms, as on
// the other platforms, rather than whatever the port was left with. A port open here is not
// opened a second time even where the system would share it (wine does).
//
// Transfers are overlapped, so that a wait can be given up: writes have no timeout, but Ctrl-C
// (or the console closing) ends a write's wait, and later writes fail at once, so that a port
// nobody reads cannot keep the host from stopping; the write comes up short. Reads wait as the
// port's timeouts say.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/platform.h"

namespace velmora {
namespace {

struct SerialPortRecord {
  bool used;
  HANDLE handle;  // INVALID_HANDLE_VALUE for the stand-in
  uint8_t port;
  bool timeouts_set;
  // The stand-in: the bytes written and not yet read, its DTR and RTS lines.
  bool loopback;
  std::string loop;
  bool dtr, rts;
};

// What the stand-in holds before a write comes up short, as a device's buffer would.
constexpr size_t kLoopbackCapacity = 4096;
// The speeds the stand-in takes: those a POSIX device may have, as on the other platforms.
constexpr uint32_t kLoopbackSpeeds[] = {50,    75,    110,    134,    150,    200,   300,
                                        600,   1200,  1800,   2400,   4800,   9600,  19200,
                                        38400, 57600, 115200, 230400, 460800, 921600};

// 255 ports plus room for presence tests.
constexpr int kMaxSerialPorts = 260;
SerialPortRecord SerialPorts[kMaxSerialPorts];
bool SerialPortsReady = false;

constexpr DWORD kDefaultReadTotal = 1;

// Signalled when Ctrl-C comes; set once, never reset.
HANDLE WaitsEnded = nullptr;

// Runs on a thread of its own when Ctrl-C comes; the host's own handling (its SIGINT) follows.
BOOL WINAPI EndWaits(DWORD event) {
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT || event == CTRL_CLOSE_EVENT) {
    SetEvent(WaitsEnded);
  }
  return FALSE;
}

// One overlapped transfer to its end: the count moved, or -1 when nothing moved and the transfer
// failed. A write gives up its wait when Ctrl-C comes, and is not tried after it.
int64_t Transfer(HANDLE handle, void* buffer, uint32_t count, bool write) {
  if (write && WaitForSingleObject(WaitsEnded, 0) == WAIT_OBJECT_0) return -1;
  OVERLAPPED transfer = {};
  transfer.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (!transfer.hEvent) return -1;
  DWORD moved = 0;
  const BOOL done = write ? WriteFile(handle, buffer, count, nullptr, &transfer)
                          : ReadFile(handle, buffer, count, nullptr, &transfer);
  bool ok = done || GetLastError() == ERROR_IO_PENDING;
  if (ok && !done && write) {
    const HANDLE events[] = {transfer.hEvent, WaitsEnded};
    if (WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0) {
      CancelIoEx(handle, &transfer);
    }
  }
  if (ok && !GetOverlappedResult(handle, &transfer, &moved, TRUE)) {
    // A read the timeouts ended has taken what came (wine reports the timeout as a failure).
    const DWORD error = GetLastError();
    ok = !write && (error == ERROR_SEM_TIMEOUT || error == WAIT_TIMEOUT || error == ERROR_TIMEOUT);
  }
  CloseHandle(transfer.hEvent);
  return ok || moved > 0 ? int64_t(moved) : -1;
}

SerialPortRecord* Record(PlatformSerial port) {
  if (port < 0 || port >= kMaxSerialPorts || !SerialPortsReady) return nullptr;
  SerialPortRecord* record = &SerialPorts[port];
  return record->used ? record : nullptr;
}

SerialPortRecord* LoopbackRecord(PlatformSerial port) {
  SerialPortRecord* record = Record(port);
  return record && record->loopback ? record : nullptr;
}

bool ApplyTimeouts(HANDLE handle, DWORD interval, DWORD total) {
  // No write timeout: a write waits until the port has taken every byte.
  COMMTIMEOUTS timeouts = {interval, 0, total, 0, 0};
  return SetCommTimeouts(handle, &timeouts) != 0;
}

// The handle of an open device, ready for transfers; INVALID_HANDLE_VALUE for a bad handle and
// the stand-in.
HANDLE TransferHandle(PlatformSerial port) {
  SerialPortRecord* record = Record(port);
  if (!record || record->loopback) return INVALID_HANDLE_VALUE;
  if (!record->timeouts_set) {
    record->timeouts_set = true;
    ApplyTimeouts(record->handle, 0, kDefaultReadTotal);
  }
  return record->handle;
}

HANDLE PortHandle(PlatformSerial port) {
  SerialPortRecord* record = Record(port);
  return record ? record->handle : INVALID_HANDLE_VALUE;
}

bool IsLoopback(uint8_t port) {
  char variable[16];
  std::snprintf(variable, sizeof variable, "VELMORA_COM%u", unsigned(port));
  const char* device = std::getenv(variable);
  return device != nullptr && std::strcmp(device, "loopback") == 0;
}

}  // namespace

bool PlatformSerialIsStandIn(uint8_t port) {
  return port != 0 && IsLoopback(port);
}

PlatformSerial PlatformOpenSerial(uint8_t port) {
  if (!SerialPortsReady) {
    WaitsEnded = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!WaitsEnded) return kInvalidSerial;
    SetConsoleCtrlHandler(EndWaits, TRUE);
    SerialPortsReady = true;
  }
  int index = kMaxSerialPorts;
  for (int i = kMaxSerialPorts - 1; i >= 0; --i) {
    const SerialPortRecord& record = SerialPorts[i];
    if (!record.used) {
      index = i;
    } else if (record.port == port) {
      return kInvalidSerial;
    }
  }
  if (index == kMaxSerialPorts) return kInvalidSerial;
  SerialPortRecord& record = SerialPorts[index];
  if (IsLoopback(port)) {
    record = {};
    record.used = record.loopback = true;
    record.handle = INVALID_HANDLE_VALUE;
    record.port = port;
    return index;
  }
  char name[16];
  std::snprintf(name, sizeof name, "\\\\.\\COM%u", unsigned(port));
  const HANDLE handle = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OVERLAPPED, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return kInvalidSerial;
  record = {};
  record.used = true;
  record.handle = handle;
  record.port = port;
  return index;
}

bool PlatformCloseSerial(PlatformSerial port) {
  SerialPortRecord* record = Record(port);
  if (!record) return false;
  const HANDLE handle = record->handle;
  const bool loopback = record->loopback;
  *record = {};
  return loopback || CloseHandle(handle) != 0;
}

// The settings go through the platform's own parser, BuildCommDCBA, on top of the port's current
// state (which holds valid flow-control characters); flow control is then turned off, so that
// bytes pass as on the other platforms.
bool PlatformConfigureSerial(PlatformSerial port, const SerialSettings& settings) {
  if (SerialPortRecord* loop = LoopbackRecord(port)) {
    const uint32_t* end = kLoopbackSpeeds + sizeof kLoopbackSpeeds / sizeof *kLoopbackSpeeds;
    if (std::find(kLoopbackSpeeds, end, settings.baud) == end ||
        !std::strchr("NEOMS", settings.parity)) {
      return false;
    }
    loop->dtr = settings.dtr;
    loop->rts = settings.rts;
    return true;
  }
  const HANDLE handle = PortHandle(port);
  if (handle == INVALID_HANDLE_VALUE) return false;
  DCB control = {};
  control.DCBlength = sizeof control;
  if (!GetCommState(handle, &control)) return false;
  const char* stop = settings.stop_halves == 3 ? "1.5" : settings.stop_halves == 4 ? "2" : "1";
  char text[128];
  std::snprintf(text, sizeof text, "baud=%lu parity=%c data=%u stop=%s dtr=%s rts=%s",
                static_cast<unsigned long>(settings.baud), settings.parity,
                unsigned(settings.data_bits), stop, settings.dtr ? "on" : "off",
                settings.rts ? "on" : "off");
  if (!BuildCommDCBA(text, &control)) return false;
  control.fBinary = TRUE;
  control.fParity = settings.parity != 'N';
  control.fOutxCtsFlow = FALSE;
  control.fOutxDsrFlow = FALSE;
  control.fDsrSensitivity = FALSE;
  control.fOutX = FALSE;
  control.fInX = FALSE;
  control.fErrorChar = FALSE;
  control.fNull = FALSE;
  control.fAbortOnError = FALSE;
  return SetCommState(handle, &control) != 0;
}

bool PlatformSetSerialTimeouts(PlatformSerial port, uint32_t interval, uint32_t total) {
  SerialPortRecord* record = Record(port);
  if (!record) return false;
  if (record->loopback) return true;
  if (!ApplyTimeouts(record->handle, interval, total)) return false;
  record->timeouts_set = true;
  return true;
}

int64_t PlatformWriteSerial(PlatformSerial port, const void* buffer, uint32_t count) {
  if (SerialPortRecord* loop = LoopbackRecord(port)) {
    const size_t taken = std::min<size_t>(count, kLoopbackCapacity - loop->loop.size());
    loop->loop.append(static_cast<const char*>(buffer), taken);
    return int64_t(taken);
  }
  const HANDLE handle = TransferHandle(port);
  if (handle == INVALID_HANDLE_VALUE) return -1;
  uint32_t done = 0;
  while (done < count) {
    const int64_t put =
        Transfer(handle, static_cast<char*>(const_cast<void*>(buffer)) + done, count - done, true);
    if (put <= 0) return done > 0 ? int64_t(done) : -1;
    done += uint32_t(put);
  }
  return done;
}

// One read: the port's timeouts decide how long it waits.
int64_t PlatformReadSerial(PlatformSerial port, void* buffer, uint32_t count) {
  if (SerialPortRecord* loop = LoopbackRecord(port)) {
    const size_t taken = std::min<size_t>(count, loop->loop.size());
    std::memcpy(buffer, loop->loop.data(), taken);
    loop->loop.erase(0, taken);
    return int64_t(taken);
  }
  const HANDLE handle = TransferHandle(port);
  if (handle == INVALID_HANDLE_VALUE) return -1;
  return Transfer(handle, buffer, count, false);
}

// The platform's modem status word has the bits the contract names: CTS 0x10, DSR 0x20, RING 0x40.
bool PlatformSerialModemStatus(PlatformSerial port, uint32_t* status) {
  if (SerialPortRecord* loop = LoopbackRecord(port)) {
    *status = (loop->rts ? MS_CTS_ON : 0) | (loop->dtr ? MS_DSR_ON : 0);
    return true;
  }
  const HANDLE handle = PortHandle(port);
  DWORD lines = 0;
  if (handle == INVALID_HANDLE_VALUE || !GetCommModemStatus(handle, &lines)) return false;
  *status = lines & (MS_CTS_ON | MS_DSR_ON | MS_RING_ON);
  return true;
}

bool PlatformSetSerialLine(PlatformSerial port, SerialLine line, bool on) {
  if (SerialPortRecord* loop = LoopbackRecord(port)) {
    (line == SerialLine::kDtr ? loop->dtr : loop->rts) = on;
    return true;
  }
  const HANDLE handle = PortHandle(port);
  if (handle == INVALID_HANDLE_VALUE) return false;
  const DWORD function = line == SerialLine::kDtr ? (on ? SETDTR : CLRDTR) : (on ? SETRTS : CLRRTS);
  return EscapeCommFunction(handle, function) != 0;
}

bool PlatformPurgeSerial(PlatformSerial port, bool output, bool input) {
  if (SerialPortRecord* loop = LoopbackRecord(port)) {
    if (input) loop->loop.clear();
    return true;
  }
  const HANDLE handle = PortHandle(port);
  const DWORD flags = (output ? PURGE_TXCLEAR : 0) | (input ? PURGE_RXCLEAR : 0);
  return handle != INVALID_HANDLE_VALUE && PurgeComm(handle, flags) != 0;
}

namespace {

// Clears the port's error state and reads its queue counts.
bool QueueCounts(PlatformSerial port, COMSTAT* counts) {
  const HANDLE handle = PortHandle(port);
  DWORD errors = 0;
  return handle != INVALID_HANDLE_VALUE && ClearCommError(handle, &errors, counts) != 0;
}

}  // namespace

int64_t PlatformSerialInputCount(PlatformSerial port) {
  if (SerialPortRecord* loop = LoopbackRecord(port)) return int64_t(loop->loop.size());
  COMSTAT counts;
  return QueueCounts(port, &counts) ? int64_t(counts.cbInQue) : -1;
}

int64_t PlatformSerialOutputCount(PlatformSerial port) {
  if (LoopbackRecord(port)) return 0;
  COMSTAT counts;
  return QueueCounts(port, &counts) ? int64_t(counts.cbOutQue) : -1;
}

}  // namespace velmora
