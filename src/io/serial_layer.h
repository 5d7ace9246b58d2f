// The serial layer: operations on serial port handles for the guest's serial services. Each sets
// HostError to 0 on entry and to its own code on failure.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace velmora {

using SerialHandle = PlatformSerial;
constexpr SerialHandle kInvalidSerialHandle = kInvalidSerial;

// Port n is COMn; port 0 opens nothing.
SerialHandle SerialOpen(uint8_t port);  // 1 for port 0, 2 when the open fails
// Returns the new HostError: 106 for the invalid handle, 6 when the close fails.
uint32_t SerialClose(SerialHandle port);
// Builds the line-settings text, parses it and applies it.
void SerialConfigure(SerialHandle port, uint32_t baud, uint8_t data_bits, uint8_t parity,
                     uint8_t stop_bits);  // 3 (text rejected), 4 (device refused)
// Read timeouts: `interval` ms between two bytes, 1 ms in total.
void SerialSetTimeouts(SerialHandle port, uint32_t interval);                     // 5
void SerialWriteBlock(SerialHandle port, uint32_t count, const uint8_t* buffer);  // 7, 8
uint32_t SerialReadBlock(SerialHandle port, uint32_t count, uint8_t* buffer);     // 9
void SerialWriteByte(SerialHandle port, uint8_t value);                           // 7, 8
uint8_t SerialReadByte(SerialHandle port);  // 9; 255 when nothing arrived
void SerialModemLines(SerialHandle port, uint8_t* cts, uint8_t* dsr, uint8_t* ring);  // 10
void SerialSetDtr(SerialHandle port);                                                 // 11
void SerialClearDtr(SerialHandle port);                                               // 12
void SerialSetRts(SerialHandle port);                                                 // 13
void SerialClearRts(SerialHandle port);                                               // 14
void SerialPurgeOutput(SerialHandle port);                                            // 15
void SerialPurgeInput(SerialHandle port);                                             // 16
void SerialPurgeBoth(SerialHandle port);                                              // 16
uint32_t SerialInputCount(SerialHandle port);                                         // 17
uint32_t SerialOutputCount(SerialHandle port);                                        // 18

// The line-settings text for these values, exactly as the parser receives it.
std::string SerialSettingsText(uint32_t baud, uint8_t data_bits, uint8_t parity, uint8_t stop_bits);
// Parses a line-settings text ("baud=9600 data=8 parity=N stop=1 dtr=on rts=on" and its kin);
// false when the text is not valid.
bool ParseSerialSettings(const char* text, SerialSettings* settings);

}  // namespace velmora
