// Serial ports on POSIX through termios. Port n is the device named by the environment variable
// VELMORA_COM<n> (for example VELMORA_COM3=/dev/ttyUSB0), else /dev/ttyS<n-1>. The name
// "loopback" stands for no device at all: a stand-in port whose reads return what was written
// to it, with DTR wired to DSR and RTS to CTS, as a loopback plug would.
//
// A handle is an index into a small table that keeps the descriptor with its read timeouts,
// which termios has no place for, and the settings the device had before it was opened, which
// closing it restores. The descriptor stays non-blocking; reads wait with poll.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "platform/posix/end_signal.h"

namespace velmora {
namespace {

// Milliseconds of one slice of a write's wait for the port.
constexpr int kEndSignalSlice = 100;

struct SerialPortRecord {
  int fd;  // -1 when free; kLoopback for the stand-in
  uint32_t interval;
  uint32_t total;
  bool raw;               // set up for transfers
  bool wait_interrupted;  // a signal ended a write's wait: later writes do not wait
  bool saved;             // `original` holds the device's settings before the open
  termios original;
  // The stand-in: its port number, the bytes written and not yet read, its DTR and RTS lines.
  uint8_t port;
  std::string loop;
  bool dtr, rts;
};

constexpr int kLoopback = INT32_MAX;
constexpr const char* kLoopbackName = "loopback";
// What the stand-in holds before a write comes up short, as a device's buffer would.
constexpr size_t kLoopbackCapacity = 4096;

// 255 ports plus room for presence tests.
constexpr int kMaxSerialPorts = 260;
SerialPortRecord SerialPorts[kMaxSerialPorts];
bool SerialPortsReady = false;

// Until the guest sets timeouts, a read takes what arrives within 1 ms.
constexpr uint32_t kDefaultReadTotal = 1;

SerialPortRecord* Record(PlatformSerial port) {
  if (port < 0 || port >= kMaxSerialPorts || !SerialPortsReady) return nullptr;
  SerialPortRecord* record = &SerialPorts[port];
  return record->fd >= 0 ? record : nullptr;
}

// A port carries bytes unchanged, as on platforms without a line discipline: raw mode, keeping
// the device's speed and frame, from the first operation after the open. Not at the open itself,
// so that a presence test leaves the device as it was.
void PrepareTransfers(SerialPortRecord* record) {
  if (record->raw) return;
  record->raw = true;
  termios mode;
  if (tcgetattr(record->fd, &mode) != 0) return;
  const tcflag_t frame = mode.c_cflag & (CSIZE | PARENB | PARODD | CSTOPB);
  cfmakeraw(&mode);
  mode.c_cflag = (mode.c_cflag & ~(CSIZE | PARENB | PARODD | CSTOPB)) | frame | CLOCAL | CREAD;
  mode.c_cc[VMIN] = 0;
  mode.c_cc[VTIME] = 0;
  tcsetattr(record->fd, TCSANOW, &mode);
}

// The record of an open stand-in port, else nullptr.
SerialPortRecord* LoopbackRecord(PlatformSerial port) {
  SerialPortRecord* record = Record(port);
  return record && record->fd == kLoopback ? record : nullptr;
}

// The descriptor of an open port, set up for transfers; -1 for a bad handle and the stand-in.
int Descriptor(PlatformSerial port) {
  SerialPortRecord* record = Record(port);
  if (!record || record->fd == kLoopback) return -1;
  PrepareTransfers(record);
  return record->fd;
}

std::string SerialDevicePath(uint8_t port) {
  const std::string variable = "VELMORA_COM" + std::to_string(port);
  const char* path = getenv(variable.c_str());
  if (path && *path) return path;
  return "/dev/ttyS" + std::to_string(port - 1);
}

uint64_t NowMilliseconds() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return uint64_t(now.tv_sec) * 1000 + uint64_t(now.tv_nsec) / 1000000;
}

struct BaudRate {
  uint32_t baud;
  speed_t speed;
};
constexpr BaudRate kBaudRates[] = {
    {50, B50},         {75, B75},         {110, B110},       {134, B134},     {150, B150},
    {200, B200},       {300, B300},       {600, B600},       {1200, B1200},   {1800, B1800},
    {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200}, {38400, B38400},
    {57600, B57600},   {115200, B115200}, {230400, B230400},
#ifdef B460800
    {460800, B460800},
#endif
#ifdef B921600
    {921600, B921600},
#endif
};

bool FindSpeed(uint32_t baud, speed_t* speed) {
  for (const BaudRate& rate : kBaudRates) {
    if (rate.baud == baud) {
      *speed = rate.speed;
      return true;
    }
  }
  return false;
}

}  // namespace

bool PlatformSerialIsStandIn(uint8_t port) {
  return port != 0 && SerialDevicePath(port) == kLoopbackName;
}

PlatformSerial PlatformOpenSerial(uint8_t port) {
  if (!SerialPortsReady) {
    for (SerialPortRecord& record : SerialPorts) record.fd = -1;
    SerialPortsReady = true;
  }
  int index = 0;
  while (index < kMaxSerialPorts && SerialPorts[index].fd >= 0) ++index;
  if (index == kMaxSerialPorts) return kInvalidSerial;
  SerialPortRecord& record = SerialPorts[index];
  const std::string path = SerialDevicePath(port);
  if (path == kLoopbackName) {
    // One opener at a time, as for a device.
    for (const SerialPortRecord& other : SerialPorts) {
      if (other.fd == kLoopback && other.port == port) return kInvalidSerial;
    }
    record = {};
    record.fd = kLoopback;
    record.port = port;
    return index;
  }
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return kInvalidSerial;
  struct stat info;
  // Only terminals are ports; the lock keeps out a second opener (no sharing).
  if (fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode) || !isatty(fd) ||
      (flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)) {
    close(fd);
    return kInvalidSerial;
  }
  record = {};
  record.fd = fd;
  record.total = kDefaultReadTotal;
  record.saved = tcgetattr(fd, &record.original) == 0;
  return index;
}

namespace {

// Lets the bytes still queued go out at the speed they were written for: as long as the queue
// keeps shrinking, and at most a second without progress, so that a device held back by flow
// control cannot keep the host from ending.
void LetOutputDrain(int fd) {
  constexpr uint64_t kLongestStall = 1000;
  int queued = 0, last = -1;
  uint64_t since = NowMilliseconds();
  while (ioctl(fd, TIOCOUTQ, &queued) == 0 && queued > 0) {
    if (queued != last) {
      last = queued;
      since = NowMilliseconds();
    } else if (NowMilliseconds() - since > kLongestStall) {
      return;
    }
    pollfd none = {-1, 0, 0};
    poll(&none, 1, 10);
  }
}

}  // namespace

// The device gets back the settings it had when it was opened.
bool PlatformCloseSerial(PlatformSerial port) {
  SerialPortRecord* record = Record(port);
  if (!record) return false;
  const int fd = record->fd;
  record->fd = -1;
  record->loop = std::string();
  if (fd == kLoopback) return true;
  if (record->saved && record->raw) {
    LetOutputDrain(fd);
    tcsetattr(fd, TCSANOW, &record->original);
  }
  return close(fd) == 0;
}

bool PlatformConfigureSerial(PlatformSerial port, const SerialSettings& settings) {
  speed_t speed;
  if (SerialPortRecord* loop = LoopbackRecord(port)) {
    // The stand-in takes what a device with every speed termios names would take.
    if (!FindSpeed(settings.baud, &speed) || !std::strchr("NEOMS", settings.parity)) return false;
    loop->dtr = settings.dtr;
    loop->rts = settings.rts;
    return true;
  }
  const int fd = Descriptor(port);
  termios mode;
  if (fd < 0 || tcgetattr(fd, &mode) != 0 || !FindSpeed(settings.baud, &speed)) return false;
  cfmakeraw(&mode);
  mode.c_cflag |= CLOCAL | CREAD;
  mode.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB);
#ifdef CRTSCTS
  mode.c_cflag &= ~CRTSCTS;
#endif
  static const tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
  mode.c_cflag |= kSizes[settings.data_bits - 5];
  switch (settings.parity) {
    case 'N':
      break;
    case 'E':
      mode.c_cflag |= PARENB;
      break;
    case 'O':
      mode.c_cflag |= PARENB | PARODD;
      break;
#ifdef CMSPAR
    case 'M':
      mode.c_cflag |= PARENB | PARODD | CMSPAR;
      break;
    case 'S':
      mode.c_cflag |= PARENB | CMSPAR;
      break;
#endif
    default:
      return false;
  }
  // termios knows one or two stop bits; 1.5 is sent as two.
  if (settings.stop_halves > 2) mode.c_cflag |= CSTOPB;
  mode.c_cc[VMIN] = 0;
  mode.c_cc[VTIME] = 0;
  if (cfsetispeed(&mode, speed) != 0 || cfsetospeed(&mode, speed) != 0 ||
      tcsetattr(fd, TCSANOW, &mode) != 0) {
    return false;
  }
  // tcsetattr succeeds when any part was taken: a device that kept another frame or speed
  // (pseudo-terminals always carry 8 bits without parity) refused the settings.
  termios applied;
  constexpr tcflag_t kFrame = CSIZE | PARENB | PARODD | CSTOPB;
  if (tcgetattr(fd, &applied) != 0 || (applied.c_cflag & kFrame) != (mode.c_cflag & kFrame) ||
      cfgetospeed(&applied) != speed) {
    return false;
  }
  Record(port)->raw = true;
  // Devices without modem lines (pseudo-terminals, some adapters) still take the settings.
  int lines = TIOCM_DTR;
  ioctl(fd, settings.dtr ? TIOCMBIS : TIOCMBIC, &lines);
  lines = TIOCM_RTS;
  ioctl(fd, settings.rts ? TIOCMBIS : TIOCMBIC, &lines);
  return true;
}

bool PlatformSetSerialTimeouts(PlatformSerial port, uint32_t interval, uint32_t total) {
  SerialPortRecord* record = Record(port);
  if (!record) return false;
  record->interval = interval;
  record->total = total;
  return true;
}

int64_t PlatformWriteSerial(PlatformSerial port, const void* buffer, uint32_t count) {
  if (SerialPortRecord* loop = LoopbackRecord(port)) {
    const size_t taken = std::min<size_t>(count, kLoopbackCapacity - loop->loop.size());
    loop->loop.append(static_cast<const char*>(buffer), taken);
    return int64_t(taken);
  }
  SerialPortRecord* record = Record(port);
  if (!record) return -1;
  PrepareTransfers(record);
  const int fd = record->fd;
  uint32_t done = 0;
  while (done < count) {
    const ssize_t n = write(fd, static_cast<const char*>(buffer) + done, count - done);
    if (n > 0) {
      done += uint32_t(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN && !record->wait_interrupted) {
      // No write timeout: wait until the port takes more. A signal (Ctrl-C) ends the wait, here
      // and in every later write to the port, so that a port nobody reads cannot keep the host
      // from stopping; the write then comes up short. The wait goes in slices, so that a signal
      // that came just before it is seen too.
      pollfd wait = {fd, POLLOUT, 0};
      const int polled = poll(&wait, 1, kEndSignalSlice);
      if (polled > 0 || (polled == 0 && !EndSignalSeen())) continue;
      record->wait_interrupted = polled == 0 || errno == EINTR;
    }
    return done > 0 ? int64_t(done) : -1;
  }
  return done;
}

// Waits at most `total` ms for the whole read, and at most `interval` ms after each byte.
int64_t PlatformReadSerial(PlatformSerial port, void* buffer, uint32_t count) {
  if (SerialPortRecord* loop = LoopbackRecord(port)) {
    const size_t taken = std::min<size_t>(count, loop->loop.size());
    std::memcpy(buffer, loop->loop.data(), taken);
    loop->loop.erase(0, taken);
    return int64_t(taken);
  }
  SerialPortRecord* record = Record(port);
  if (!record) return -1;
  PrepareTransfers(record);
  const uint64_t deadline = NowMilliseconds() + record->total;
  uint32_t done = 0;
  while (done < count) {
    const uint64_t now = NowMilliseconds();
    uint64_t wait = now < deadline ? deadline - now : 0;
    if (done > 0 && record->interval > 0 && record->interval < wait) wait = record->interval;
    pollfd ready = {record->fd, POLLIN, 0};
    const int polled = poll(&ready, 1, int(wait));
    if (polled < 0 && errno == EINTR) continue;
    if (polled < 0) return done > 0 ? int64_t(done) : -1;
    if (polled == 0) break;
    const ssize_t n = read(record->fd, static_cast<char*>(buffer) + done, count - done);
    if (n > 0) {
      done += uint32_t(n);
    } else if (n == 0 || errno == EAGAIN || errno == EINTR) {
      if (wait == 0) break;
    } else {
      return done > 0 ? int64_t(done) : -1;
    }
  }
  return done;
}

bool PlatformSerialModemStatus(PlatformSerial port, uint32_t* status) {
  if (SerialPortRecord* loop = LoopbackRecord(port)) {
    *status = (loop->rts ? 0x10 : 0) | (loop->dtr ? 0x20 : 0);
    return true;
  }
  const int fd = Descriptor(port);
  int lines = 0;
  if (fd < 0 || ioctl(fd, TIOCMGET, &lines) != 0) return false;
  *status = (lines & TIOCM_CTS ? 0x10 : 0) | (lines & TIOCM_DSR ? 0x20 : 0) |
            (lines & TIOCM_RNG ? 0x40 : 0);
  return true;
}

bool PlatformSetSerialLine(PlatformSerial port, SerialLine line, bool on) {
  if (SerialPortRecord* loop = LoopbackRecord(port)) {
    (line == SerialLine::kDtr ? loop->dtr : loop->rts) = on;
    return true;
  }
  const int fd = Descriptor(port);
  int bits = line == SerialLine::kDtr ? TIOCM_DTR : TIOCM_RTS;
  return fd >= 0 && ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bits) == 0;
}

bool PlatformPurgeSerial(PlatformSerial port, bool output, bool input) {
  if (SerialPortRecord* loop = LoopbackRecord(port)) {
    if (input) loop->loop.clear();
    return true;
  }
  const int fd = Descriptor(port);
  const int queue = output && input ? TCIOFLUSH : output ? TCOFLUSH : TCIFLUSH;
  return fd >= 0 && tcflush(fd, queue) == 0;
}

int64_t PlatformSerialInputCount(PlatformSerial port) {
  if (SerialPortRecord* loop = LoopbackRecord(port)) return int64_t(loop->loop.size());
  const int fd = Descriptor(port);
  int count = 0;
  if (fd < 0 || ioctl(fd, FIONREAD, &count) != 0) return -1;
  return count;
}

int64_t PlatformSerialOutputCount(PlatformSerial port) {
  if (LoopbackRecord(port)) return 0;
  const int fd = Descriptor(port);
  int count = 0;
  if (fd < 0 || ioctl(fd, TIOCOUTQ, &count) != 0) return -1;
  return count;
}

}  // namespace velmora
