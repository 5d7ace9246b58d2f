// HostError and the status-byte convention, shared by every host operation and service.
#pragma once

#include <cstdint>

#include "core/machine.h"

namespace velmora {

// Status of the last host file, serial or graphics operation: 0 for success, otherwise the
// system's own small code (never the platform's error number).
extern uint32_t HostError;

// The status byte at 0x47 tells the guest how the last service that reports one went.
inline void SetStatus(uint8_t status) {
  Machine.data[kStatusAddress] = status;
}
// Services that report through HostError copy its low byte into the status byte.
inline void ReportHostError() {
  SetStatus(uint8_t(HostError));
}

}  // namespace velmora
