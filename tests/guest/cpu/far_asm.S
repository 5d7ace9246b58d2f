; The far program's assembly half: ELPM with Z+ carrying into RAMPZ, EICALL and EIJMP with EIND
; above 0, and a look at the three bytes a CALL leaves on the stack.
#define RAMPZ_IO 0x3B
#define EIND_IO 0x3C

  .text
; uint16_t elpm_sum(uint32_t address /* r25:r22 */, uint16_t count /* r21:r20 */)
; Leaves the final RAMPZ at 0x108.
  .global elpm_sum
elpm_sum:
  out RAMPZ_IO, r24
  movw r30, r22
  clr r24
  clr r25
1:
  elpm r18, Z+
  add r24, r18
  adc r25, r1
  subi r20, 1
  sbci r21, 0
  brne 1b
  in r18, RAMPZ_IO
  sts 0x108, r18
  ret

; uint16_t eicall_far_target(uint16_t arg /* r25:r24 */)
  .global eicall_far_target
eicall_far_target:
  ldi r30, lo8(pm(far_target))
  ldi r31, hi8(pm(far_target))
  ldi r18, hh8(pm(far_target))
  out EIND_IO, r18
  eicall
  out EIND_IO, r1         ; the compiler's code expects EIND 0
  ret

; uint16_t eijmp_round_trip(uint16_t arg): EIJMP out to far_bounce, JMP back.
  .global eijmp_round_trip
eijmp_round_trip:
  ldi r30, lo8(pm(far_bounce))
  ldi r31, hi8(pm(far_bounce))
  ldi r18, hh8(pm(far_bounce))
  out EIND_IO, r18
  eijmp
  .global eijmp_back
eijmp_back:
  out EIND_IO, r1
  subi r24, 0xF0          ; arg + 3 + 16
  sbci r25, 0xFF
  ret

; Calls probe from near code and from far code; probe copies its return address bytes
; (SP+1..SP+3) to X. The expected word addresses follow each copy, low byte first:
; 0x180-0x182 probe's bytes, 0x183-0x185 after_call; 0x186-0x188, 0x189-0x18B far_after.
  .global check_return_layout
check_return_layout:
  ldi r26, 0x80
  ldi r27, 0x01
  call probe
after_call:
  ldi r24, lo8(pm(after_call))
  st X+, r24
  ldi r24, hi8(pm(after_call))
  st X+, r24
  ldi r24, hh8(pm(after_call))
  st X+, r24
  call far_probe
  ret

  .section .farasm,"ax",@progbits
far_target:               ; arg * 2 + 1
  add r24, r24
  adc r25, r25
  adiw r24, 1
  ret

far_bounce:               ; arg + 3, then back
  adiw r24, 3
  jmp eijmp_back

probe:
  in r30, 0x3D
  in r31, 0x3E
  ldd r24, Z+1
  st X+, r24
  ldd r24, Z+2
  st X+, r24
  ldd r24, Z+3
  st X+, r24
  ret

far_probe:
  call probe
far_after:
  ldi r24, lo8(pm(far_after))
  st X+, r24
  ldi r24, hi8(pm(far_after))
  st X+, r24
  ldi r24, hh8(pm(far_after))
  st X+, r24
  ret
