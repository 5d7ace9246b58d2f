// Helpers the service tests share.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include "services/gate.h"
#include "services/guest.h"
#include "services/status.h"

namespace velmora {

// Runs group 7 function `function` with the arguments already at 0x60; returns the status.
inline uint8_t Call(uint8_t function) {
  Machine.data[kStatusAddress] = 0xEE;
  CallService(7, function);
  return Machine.data[kStatusAddress];
}

inline uint8_t SlotCall(uint8_t function, uint8_t slot) {
  SetGuestByte(kArgumentAddress, slot);
  return Call(function);
}

// A fresh folder under /tmp, removed with everything in it.
struct ScratchDir {
  std::string path;
  ScratchDir() {
    char pattern[] = "/tmp/velmora_XXXXXX";
    if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
    path = pattern;
  }
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
};

}  // namespace velmora
