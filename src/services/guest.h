// The only way services touch guest memory. Every accessor keeps its reads and writes inside the
// data space: values at a pointer may reach into the 256 guard bytes above 0xFFFF, strings and
// buffers end at 0xFFFF (the last byte the guest can address).
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

#include "core/machine.h"

namespace velmora {

// Little-endian values at a data address; an access that would leave the data space reads 0 and
// writes nothing.
inline bool InsideDataSpace(uint32_t address, uint32_t width) {
  return address <= kDataSpaceSize && width <= kDataSpaceSize - address;
}

inline uint64_t GuestValue(uint32_t address, uint32_t width) {
  if (!InsideDataSpace(address, width)) return 0;
  uint64_t value = 0;
  for (uint32_t i = width; i-- > 0;) value = (value << 8) | Machine.data[address + i];
  return value;
}

inline void SetGuestValue(uint32_t address, uint32_t width, uint64_t value) {
  if (!InsideDataSpace(address, width)) return;
  for (uint32_t i = 0; i < width; ++i) Machine.data[address + i] = uint8_t(value >> (8 * i));
}

inline uint8_t GuestByte(uint32_t a) {
  return uint8_t(GuestValue(a, 1));
}
inline uint16_t GuestWord(uint32_t a) {
  return uint16_t(GuestValue(a, 2));
}
inline uint32_t GuestDword(uint32_t a) {
  return uint32_t(GuestValue(a, 4));
}
inline uint64_t GuestQword(uint32_t a) {
  return GuestValue(a, 8);
}
inline int16_t GuestInt16(uint32_t a) {
  return int16_t(GuestWord(a));
}
inline int32_t GuestInt32(uint32_t a) {
  return int32_t(GuestDword(a));
}
inline float GuestFloat(uint32_t a) {
  const uint32_t bits = GuestDword(a);
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}
inline double GuestDouble(uint32_t a) {
  const uint64_t bits = GuestQword(a);
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

inline void SetGuestByte(uint32_t a, uint8_t v) {
  SetGuestValue(a, 1, v);
}
inline void SetGuestWord(uint32_t a, uint16_t v) {
  SetGuestValue(a, 2, v);
}
inline void SetGuestDword(uint32_t a, uint32_t v) {
  SetGuestValue(a, 4, v);
}
inline void SetGuestQword(uint32_t a, uint64_t v) {
  SetGuestValue(a, 8, v);
}
inline void SetGuestFloat(uint32_t a, float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  SetGuestDword(a, bits);
}

// Bytes from `address` to the end of the guest's addressable data (0xFFFF inclusive).
inline uint32_t GuestRoom(uint32_t address) {
  return address < kGuestDataSize ? kGuestDataSize - address : 0;
}

// A guest buffer of `length` bytes, or nullptr when it would reach beyond 0xFFFF.
inline uint8_t* GuestBuffer(uint32_t address, uint32_t length) {
  if (length > GuestRoom(address)) return nullptr;
  return Machine.data + address;
}

// A zero-terminated guest string; one without a terminator before 0xFFFF ends there.
inline std::string_view GuestString(uint32_t address) {
  const uint32_t room = GuestRoom(address);
  if (room == 0) return {};
  const char* start = reinterpret_cast<const char*>(Machine.data + address);
  const void* end = std::memchr(start, 0, room);
  return {start, end ? size_t(static_cast<const char*>(end) - start) : room};
}

// Writes `text` and a terminator at `address`, cut so that the terminator still lies at or below
// 0xFFFF. Returns the number of text bytes written.
inline uint32_t WriteGuestString(uint32_t address, std::string_view text) {
  const uint32_t room = GuestRoom(address);
  if (room == 0) return 0;
  const uint32_t length = text.size() < room ? uint32_t(text.size()) : room - 1;
  std::memmove(Machine.data + address, text.data(), length);
  Machine.data[address + length] = 0;
  return length;
}

}  // namespace velmora
