/* CRC-32 (bitwise, reflected) over a 1 KiB buffer, many rounds. */
#include "workload.h"

#ifndef ROUNDS
#define ROUNDS 160
#endif

static uint8_t buffer[1024];

int main(void) {
  uint16_t seed = 1;
  for (uint16_t i = 0; i < sizeof buffer; ++i) buffer[i] = (uint8_t)next_random(&seed);
  uint32_t crc = 0xFFFFFFFFul;
  for (uint16_t round = 0; round < ROUNDS; ++round) {
    for (uint16_t i = 0; i < sizeof buffer; ++i) {
      crc ^= buffer[i];
      for (uint8_t bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320ul & -(crc & 1));
    }
  }
  finish(~crc);
}
