/* Velmora guest SDK: serial ports (group 7).
 *
 * Port n is COMn and lives in slot n (1 to 255; port 0 never opens). Every function leaves a
 * status in VM_STATUS and most also return it: 0 success, 1 slot not open or open failed,
 * 2 buffer reaches 0xFFFF, 3 settings rejected, 4 the device refused the settings, 5 timeouts
 * failed, 6 close failed, 7 write failed, 8 fewer bytes written, 9 read failed, 10 modem status
 * failed, 11 to 14 DTR or RTS change failed, 15 and 16 purge failed, 17 and 18 queue count
 * failed, 255 a byte read received nothing. */
#ifndef VELMORA_SERIAL_H
#define VELMORA_SERIAL_H

#include "velmora_gate.h"

#define VM_SERIAL_GROUP 7
#define VM_SERIAL_NOTHING 255

/* Runs a service whose only argument is the port and returns the status. */
static inline uint8_t vm_serial_call(uint8_t port, uint8_t function) {
  VM_ARG8(0) = port;
  vm_call(VM_SERIAL_GROUP, function);
  return VM_STATUS;
}

/* Opens COMn in slot n, closing it first if it was open. */
static inline uint8_t vm_serial_open(uint8_t port) {
  return vm_serial_call(port, 73);
}
/* Closes the port; the slot is closed even when this fails. */
static inline uint8_t vm_serial_close(uint8_t port) {
  return vm_serial_call(port, 74);
}

/* Sets speed and frame: `parity` 0 none, otherwise even; `stop_bits` 1 or 2. DTR and RTS are
 * raised. */
static inline uint8_t vm_serial_configure(uint8_t port, uint32_t baud, uint8_t data_bits,
                                          uint8_t parity, uint8_t stop_bits) {
  VM_ARG32(1) = baud;
  VM_ARG8(5) = data_bits;
  VM_ARG8(6) = parity;
  VM_ARG8(7) = stop_bits;
  return vm_serial_call(port, 75);
}

/* Reads wait at most 1 ms in all, and at most `interval` ms between two bytes. */
static inline uint8_t vm_serial_timeouts(uint8_t port, uint32_t interval) {
  VM_ARG32(1) = interval;
  return vm_serial_call(port, 76);
}

/* Sends `count` bytes; waits as long as the port needs. */
static inline uint8_t vm_serial_write(uint8_t port, const void* buffer, uint16_t count) {
  VM_ARG16(1) = count;
  VM_ARG16(3) = (uint16_t)buffer;
  return vm_serial_call(port, 77);
}

/* Receives up to `count` bytes within the timeouts; returns how many arrived. */
static inline uint16_t vm_serial_read(uint8_t port, void* buffer, uint16_t count) {
  VM_ARG16(1) = count;
  VM_ARG16(3) = (uint16_t)buffer;
  vm_serial_call(port, 78);
  return VM_ARG16(0);
}

/* Sends one byte. */
static inline uint8_t vm_serial_write_byte(uint8_t port, uint8_t value) {
  VM_ARG8(1) = value;
  return vm_serial_call(port, 79);
}

/* Receives one byte; 0 with VM_STATUS VM_SERIAL_NOTHING when none arrived. */
static inline uint8_t vm_serial_read_byte(uint8_t port) {
  vm_serial_call(port, 108);
  return VM_ARG8(0);
}

/* The modem input lines, 1 or 0 (0 when the status cannot be read). */
static inline uint8_t vm_serial_cts(uint8_t port) {
  vm_serial_call(port, 80);
  return VM_ARG8(0);
}
static inline uint8_t vm_serial_dsr(uint8_t port) {
  vm_serial_call(port, 81);
  return VM_ARG8(0);
}
static inline uint8_t vm_serial_ring(uint8_t port) {
  vm_serial_call(port, 82);
  return VM_ARG8(0);
}
/* All three lines at once, stored at the three addresses. */
static inline uint8_t vm_serial_modem_lines(uint8_t port, uint8_t* cts, uint8_t* dsr,
                                            uint8_t* ring) {
  VM_ARG16(1) = (uint16_t)cts;
  VM_ARG16(3) = (uint16_t)dsr;
  VM_ARG16(5) = (uint16_t)ring;
  return vm_serial_call(port, 83);
}

/* Raises (on != 0) or drops the DTR or RTS line. */
static inline uint8_t vm_serial_dtr(uint8_t port, uint8_t on) {
  VM_ARG8(1) = on;
  return vm_serial_call(port, 84);
}
static inline uint8_t vm_serial_rts(uint8_t port, uint8_t on) {
  VM_ARG8(1) = on;
  return vm_serial_call(port, 85);
}

/* 1 when the port exists and can be opened now; a port open in a slot tests as 0. */
static inline uint8_t vm_serial_present(uint8_t port) {
  vm_serial_call(port, 86);
  return VM_ARG8(0);
}

/* Discards unsent output, unread input, or both. */
static inline uint8_t vm_serial_purge_output(uint8_t port) {
  return vm_serial_call(port, 87);
}
static inline uint8_t vm_serial_purge_input(uint8_t port) {
  return vm_serial_call(port, 88);
}
static inline uint8_t vm_serial_purge(uint8_t port) {
  return vm_serial_call(port, 89);
}

/* Bytes waiting to be read, or still to be sent. */
static inline uint16_t vm_serial_input_count(uint8_t port) {
  vm_serial_call(port, 90);
  return VM_ARG16(0);
}
static inline uint16_t vm_serial_output_count(uint8_t port) {
  vm_serial_call(port, 91);
  return VM_ARG16(0);
}

#endif
