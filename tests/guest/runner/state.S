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
  ldi r16, 0x01
  mov r0, r16
  ldi r16, 0x08
  mov r1, r16
  ldi r16, 0x0F
  mov r2, r16
  ldi r16, 0x16
  mov r3, r16
  ldi r16, 0x1D
  mov r4, r16
  ldi r16, 0x24
  mov r5, r16
  ldi r16, 0x2B
  mov r6, r16
  ldi r16, 0x32
  mov r7, r16
  ldi r16, 0x39
  mov r8, r16
  ldi r16, 0x40
  mov r9, r16
  ldi r16, 0x47
  mov r10, r16
  ldi r16, 0x4E
  mov r11, r16
  ldi r16, 0x55
  mov r12, r16
  ldi r16, 0x5C
  mov r13, r16
  ldi r16, 0x63
  mov r14, r16
  ldi r16, 0x6A
  mov r15, r16
  ldi r16, 0x71
  ldi r17, 0x78
  ldi r18, 0x7F
  ldi r19, 0x86
  ldi r20, 0x8D
  ldi r21, 0x94
  ldi r22, 0x9B
  ldi r23, 0xA2
  ldi r24, 0xA9
  ldi r25, 0xB0
  ldi r26, 0xB7
  ldi r27, 0xBE
  ldi r28, 0xC5
  ldi r29, 0xCC
  ldi r30, 0xD3
  ldi r31, 0xDA
  sec
  set
  sei                    ; SREG = I T Z C = 0xC3
  .word 0x9404           ; undefined: fault 2, pc stays here
