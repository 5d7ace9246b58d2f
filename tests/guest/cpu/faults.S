; One way to stop the machine per build: FAULT selects the instruction that faults. The fault code,
; pc and SP that velmora-run reports are checked by check_cpu.py.
  .text
  .global entry
entry:
  jmp start              ; words 0-1; the first faulting word is word 2
start:
#if FAULT == 5
  ldi r28, 0xFF          ; STD Y+1 with Y = 0xFFFF
  ldi r29, 0xFF
  std Y+1, r16
#elif FAULT == 6
  ldi r30, 0xC1          ; LDD Z+63 with Z = 0xFFC1
  ldi r31, 0xFF
  ldd r0, Z+63
#elif FAULT == 7
  ldi r16, 0x02          ; a return address of 0x020800, low byte at SP+1
  push r16
  ldi r16, 0x08
  push r16
  ldi r16, 0x00
  push r16
  ret
#elif FAULT == 8
  ldi r16, 4             ; ELPM at 0x41000
  out 0x3B, r16
  ldi r30, 0x00
  ldi r31, 0x10
  elpm
#elif FAULT == 9
  .word 0xC800           ; RJMP .-4096: before word 0
#elif FAULT == 12
  ldi r16, 2             ; EIJMP to word 0x20800
  out 0x3C, r16
  ldi r30, 0x00
  ldi r31, 0x08
  eijmp
#elif FAULT == 13
  .word 0x941E, 0x0800   ; CALL to word 0x20800
#elif FAULT == 14
  .word 0xD800           ; RCALL .-4096
#elif FAULT == 16
  ldi r16, 3             ; EICALL to word 0x30000
  out 0x3C, r16
  ldi r30, 0x00
  ldi r31, 0x00
  eicall
#endif
  .word 0x9404
