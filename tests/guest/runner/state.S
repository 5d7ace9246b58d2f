; Sets every register, RAMPZ, EIND, SP and some flags to known values and fills RAM 0x200-0x22F
; with 0x00..0x2F, then stops on an undefined instruction: the dumps of the runner must show it all.
; 260 instructions run; the stop is at word 0x48.
  .text
  .global entry
entry:
  jmp start              ; the boot accepts a program whose first byte is 0x0C..0xFC
start:
  ldi r16, 0x00          ; SP = 0x8000, then three pushes leave it at 0x7FFD
  out 0x3D, r16
  ldi r16, 0x80
  out 0x3E, r16
  ldi r16, 0x11
  push r16
  push r16
  push r16
  ldi r16, 0x5A          ; RAMPZ
  out 0x3B, r16
  ldi r16, 0xA5          ; EIND
  out 0x3C, r16
  ldi r26, 0x00          ; X = 0x0200
  ldi r27, 0x02
  ldi r16, 0
1:
  st X+, r16
  inc r16
  cpi r16, 0x30
  brne 1b                ; leaves Z set, every other flag clear
  .irp n, 0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15
  ldi r16, \n * 7 + 1    ; r(n) = n * 7 + 1
  mov r\n, r16
  .endr
  .irp n, 16,17,18,19,20,21,22,23,24,25,26,27,28,29,30,31
  ldi r\n, \n * 7 + 1
  .endr
  sec
  set
  sei                    ; SREG = I T Z C = 0xC3
  .word 0x9404           ; undefined: fault 2, pc stays here
