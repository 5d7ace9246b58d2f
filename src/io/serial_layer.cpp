#include "io/serial_layer.h"

#include <cstdlib>
#include <cstring>

#include "io/sandbox.h"
#include "services/status.h"

namespace velmora {
namespace {

constexpr uint32_t kErrorPortZero = 1;
constexpr uint32_t kErrorOpen = 2;
constexpr uint32_t kErrorSettingsText = 3;
constexpr uint32_t kErrorApplySettings = 4;
constexpr uint32_t kErrorTimeouts = 5;
constexpr uint32_t kErrorClose = 6;
constexpr uint32_t kErrorWrite = 7;
constexpr uint32_t kErrorShortWrite = 8;
constexpr uint32_t kErrorRead = 9;
constexpr uint32_t kErrorModemStatus = 10;
constexpr uint32_t kErrorSetDtr = 11;
constexpr uint32_t kErrorClearDtr = 12;
constexpr uint32_t kErrorSetRts = 13;
constexpr uint32_t kErrorClearRts = 14;
constexpr uint32_t kErrorPurgeOutput = 15;
constexpr uint32_t kErrorPurgeInput = 16;
constexpr uint32_t kErrorInputCount = 17;
constexpr uint32_t kErrorOutputCount = 18;
constexpr uint32_t kErrorInvalidHandle = 106;
constexpr uint32_t kNothingArrived = 255;

// A read waits at most this long in total, whatever the interval timeout.
constexpr uint32_t kReadTotalTimeout = 1;

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool SameWord(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

bool ParseDecimal(std::string_view text, uint32_t* value) {
  if (text.empty() || text.size() > 10) return false;
  uint64_t number = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    number = number * 10 + uint64_t(c - '0');
  }
  if (number > UINT32_MAX) return false;
  *value = uint32_t(number);
  return true;
}

bool ParseSwitch(std::string_view text, bool* on) {
  if (SameWord(text, "on")) {
    *on = true;
  } else if (SameWord(text, "off")) {
    *on = false;
  } else {
    return false;
  }
  return true;
}

void SetLine(SerialHandle port, SerialLine line, bool on, uint32_t error) {
  HostError = 0;
  if (!PlatformSetSerialLine(port, line, on)) HostError = error;
}

}  // namespace

std::string SerialSettingsText(uint32_t baud, uint8_t data_bits, uint8_t parity,
                               uint8_t stop_bits) {
  std::string text = "baud=" + std::to_string(baud) + " data=" + std::to_string(data_bits);
  text += parity == 0 ? " parity=N stop=" : " parity=Y stop=";
  text += std::to_string(stop_bits) + " dtr=on rts=on";
  return text;
}

// Space-separated key=value pairs, keys and values in any case. parity=Y stands for even parity.
bool ParseSerialSettings(const char* text, SerialSettings* settings) {
  SerialSettings parsed = {};
  bool have_baud = false, have_data = false, have_parity = false, have_stop = false;
  std::string_view rest(text);
  while (!rest.empty()) {
    const size_t start = rest.find_first_not_of(' ');
    if (start == std::string_view::npos) break;
    rest.remove_prefix(start);
    const size_t end = std::min(rest.find(' '), rest.size());
    const std::string_view pair = rest.substr(0, end);
    rest.remove_prefix(end);
    const size_t equals = pair.find('=');
    if (equals == std::string_view::npos) return false;
    const std::string_view key = pair.substr(0, equals);
    const std::string_view value = pair.substr(equals + 1);
    uint32_t number = 0;
    if (SameWord(key, "baud")) {
      if (!ParseDecimal(value, &number) || number == 0) return false;
      parsed.baud = number;
      have_baud = true;
    } else if (SameWord(key, "data")) {
      if (!ParseDecimal(value, &number) || number < 5 || number > 8) return false;
      parsed.data_bits = uint8_t(number);
      have_data = true;
    } else if (SameWord(key, "parity")) {
      if (value.size() != 1) return false;
      const char letter = Lower(value[0]);
      if (!std::strchr("neomsy", letter)) return false;
      parsed.parity = letter == 'y' ? 'E' : char(letter - 'a' + 'A');
      have_parity = true;
    } else if (SameWord(key, "stop")) {
      if (value == "1") {
        parsed.stop_halves = 2;
      } else if (value == "1.5") {
        parsed.stop_halves = 3;
      } else if (value == "2") {
        parsed.stop_halves = 4;
      } else {
        return false;
      }
      have_stop = true;
    } else if (SameWord(key, "dtr")) {
      if (!ParseSwitch(value, &parsed.dtr)) return false;
    } else if (SameWord(key, "rts")) {
      if (!ParseSwitch(value, &parsed.rts)) return false;
    } else {
      return false;
    }
  }
  if (!have_baud || !have_data || !have_parity || !have_stop) return false;
  *settings = parsed;
  return true;
}

SerialHandle SerialOpen(uint8_t port) {
  HostError = 0;
  if (port == 0) {
    HostError = kErrorPortZero;
    return kInvalidSerialHandle;
  }
  // A sandboxed guest reaches no host device: only stand-ins open.
  if (SandboxActive() && !PlatformSerialIsStandIn(port)) {
    HostError = kErrorOpen;
    return kInvalidSerialHandle;
  }
  const SerialHandle handle = PlatformOpenSerial(port);
  if (handle == kInvalidSerialHandle) HostError = kErrorOpen;
  return handle;
}

uint32_t SerialClose(SerialHandle port) {
  HostError = 0;
  if (port == kInvalidSerialHandle) {
    HostError = kErrorInvalidHandle;
  } else if (!PlatformCloseSerial(port)) {
    HostError = kErrorClose;
  }
  return HostError;
}

void SerialConfigure(SerialHandle port, uint32_t baud, uint8_t data_bits, uint8_t parity,
                     uint8_t stop_bits) {
  HostError = 0;
  SerialSettings settings;
  if (!ParseSerialSettings(SerialSettingsText(baud, data_bits, parity, stop_bits).c_str(),
                           &settings)) {
    HostError = kErrorSettingsText;
  } else if (!PlatformConfigureSerial(port, settings)) {
    HostError = kErrorApplySettings;
  }
}

void SerialSetTimeouts(SerialHandle port, uint32_t interval) {
  HostError = 0;
  if (!PlatformSetSerialTimeouts(port, interval, kReadTotalTimeout)) HostError = kErrorTimeouts;
}

void SerialWriteBlock(SerialHandle port, uint32_t count, const uint8_t* buffer) {
  HostError = 0;
  const int64_t written = PlatformWriteSerial(port, buffer, count);
  if (written < 0) {
    HostError = kErrorWrite;
  } else if (written < int64_t(count)) {
    HostError = kErrorShortWrite;
  }
}

uint32_t SerialReadBlock(SerialHandle port, uint32_t count, uint8_t* buffer) {
  HostError = 0;
  const int64_t got = PlatformReadSerial(port, buffer, count);
  if (got < 0) {
    HostError = kErrorRead;
    return 0;
  }
  return uint32_t(got);
}

void SerialWriteByte(SerialHandle port, uint8_t value) {
  SerialWriteBlock(port, 1, &value);
}

uint8_t SerialReadByte(SerialHandle port) {
  uint8_t value = 0;
  const uint32_t got = SerialReadBlock(port, 1, &value);
  if (HostError != 0) return 0;
  if (got == 0) HostError = kNothingArrived;
  return value;
}

// The three bytes are 0 when the status cannot be read.
void SerialModemLines(SerialHandle port, uint8_t* cts, uint8_t* dsr, uint8_t* ring) {
  HostError = 0;
  uint32_t status = 0;
  if (!PlatformSerialModemStatus(port, &status)) {
    HostError = kErrorModemStatus;
    status = 0;
  }
  *cts = (status & 0x10) != 0;
  *dsr = (status & 0x20) != 0;
  *ring = (status & 0x40) != 0;
}

void SerialSetDtr(SerialHandle port) {
  SetLine(port, SerialLine::kDtr, true, kErrorSetDtr);
}
void SerialClearDtr(SerialHandle port) {
  SetLine(port, SerialLine::kDtr, false, kErrorClearDtr);
}
void SerialSetRts(SerialHandle port) {
  SetLine(port, SerialLine::kRts, true, kErrorSetRts);
}
void SerialClearRts(SerialHandle port) {
  SetLine(port, SerialLine::kRts, false, kErrorClearRts);
}

void SerialPurgeOutput(SerialHandle port) {
  HostError = 0;
  if (!PlatformPurgeSerial(port, true, false)) HostError = kErrorPurgeOutput;
}

void SerialPurgeInput(SerialHandle port) {
  HostError = 0;
  if (!PlatformPurgeSerial(port, false, true)) HostError = kErrorPurgeInput;
}

void SerialPurgeBoth(SerialHandle port) {
  HostError = 0;
  if (!PlatformPurgeSerial(port, true, true)) HostError = kErrorPurgeInput;
}

uint32_t SerialInputCount(SerialHandle port) {
  HostError = 0;
  const int64_t count = PlatformSerialInputCount(port);
  if (count < 0) {
    HostError = kErrorInputCount;
    return 0;
  }
  return uint32_t(count);
}

uint32_t SerialOutputCount(SerialHandle port) {
  HostError = 0;
  const int64_t count = PlatformSerialOutputCount(port);
  if (count < 0) {
    HostError = kErrorOutputCount;
    return 0;
  }
  return uint32_t(count);
}

}  // namespace velmora
