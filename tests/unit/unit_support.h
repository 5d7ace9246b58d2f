// Helpers the service tests share.
#pragma once

#include <stdio.h>
#include <stdlib.h>

#include <filesystem>
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

// A fresh folder in the temporary folder (TMPDIR), removed with everything in it.
struct ScratchDir {
  std::string path;
  ScratchDir() {
    std::error_code error;
    std::filesystem::path folder = std::filesystem::temp_directory_path(error);
    if (error) folder = "/tmp";
    std::string pattern = (folder / "velmora_XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
      perror("mkdtemp");
      abort();
    }
    path = pattern;
  }
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
};

}  // namespace velmora
