; Instruction behaviour end to end: each block computes something and appends its result bytes
; (and, where the flags matter, SREG read through I/O 0x3F) to RAM from 0x200 through X. The
; program ends on an undefined word; check_cpu.py knows every byte to expect.
#define SREG_IO 0x3F
#define SAVE(reg) st X+, reg
#define SAVE_SREG in r0, SREG_IO $ st X+, r0

  .text
  .global entry
entry:
  jmp start              ; the boot wants a recognisable first instruction
start:
  ldi r26, 0x00
  ldi r27, 0x02
  clr r1

; 0x200: ADD 0x7F + 0x01 -> 0x80, H V N
  out SREG_IO, r1
  ldi r16, 0x7F
  ldi r17, 0x01
  add r16, r17
  SAVE(r16)
  SAVE_SREG

; 0x202: 32-bit add 0x00FFFFFF + 0x00000001 through ADD/ADC
  ldi r16, 0xFF
  ldi r17, 0xFF
  ldi r18, 0xFF
  ldi r19, 0x00
  ldi r20, 1
  add r16, r20
  adc r17, r1
  adc r18, r1
  adc r19, r1
  SAVE(r16)
  SAVE(r17)
  SAVE(r18)
  SAVE(r19)

; 0x206: 32-bit compare of equal values leaves Z set (CP then CPC x3); unequal low byte clears it
  ldi r16, 0x78
  ldi r17, 0x56
  ldi r18, 0x34
  ldi r19, 0x12
  movw r20, r16
  movw r22, r18
  cp r16, r20
  cpc r17, r21
  cpc r18, r22
  cpc r19, r23
  SAVE_SREG               ; Z only
  inc r20
  cp r16, r20
  cpc r17, r21
  cpc r18, r22
  cpc r19, r23
  SAVE_SREG               ; C N S H from the borrow that ran through all four bytes

; 0x208: 16-bit subtract 0x1000 - 0x0001 with SUBI/SBCI
  ldi r24, 0x00
  ldi r25, 0x10
  subi r24, 0x01
  sbci r25, 0x00
  SAVE(r24)
  SAVE(r25)

; 0x20A: multiplies: MUL 0xFF*0xFF, MULS -1*-128, FMULSU -128*0x80
  ldi r16, 0xFF
  mul r16, r16
  SAVE(r0)
  SAVE(r1)
  ldi r16, 0xFF
  ldi r17, 0x80
  muls r16, r17
  SAVE(r0)
  SAVE(r1)
  ldi r16, 0x80
  ldi r17, 0x80
  fmulsu r16, r17
  SAVE(r0)
  SAVE(r1)
  SAVE_SREG               ; C
  clr r1

; 0x211: shifts and rotates: 0x81 through LSR, ROR (C from LSR), ASR, SWAP
  ldi r16, 0x81
  lsr r16                 ; 0x40, C=1
  ror r16                 ; 0xA0, C=0
  asr r16                 ; 0xD0
  swap r16                ; 0x0D
  SAVE(r16)

; 0x212: ADIW/SBIW across the 16-bit boundaries
  ldi r30, 0xC1
  ldi r31, 0xFF
  adiw r30, 63            ; 0x0000, C Z
  SAVE_SREG
  sbiw r30, 1             ; 0xFFFF, C N S
  SAVE(r30)
  SAVE(r31)

; 0x215: pointer modes: ST Y+, ST -Y, LD Z+, LDD/STD with displacement
  ldi r28, 0x00
  ldi r29, 0x04
  ldi r16, 0x11
  st Y+, r16              ; 0x400 = 0x11
  ldi r16, 0x22
  st Y+, r16              ; 0x401 = 0x22
  ldi r16, 0x33
  st -Y, r16              ; 0x401 = 0x33
  std Y+40, r16           ; 0x429 = 0x33
  ldi r30, 0x00
  ldi r31, 0x04
  ld r17, Z+
  ld r18, Z+
  ldd r19, Z+39           ; 0x402 + 39 = 0x429
  SAVE(r17)
  SAVE(r18)
  SAVE(r19)
  SAVE(r28)               ; Y low byte: 0x01

; 0x219: PUSH/POP and the stack pointer through I/O
  ldi r16, 0xA1
  push r16
  in r18, 0x3D
  in r19, 0x3E
  pop r17
  SAVE(r17)
  SAVE(r18)               ; SP after the push: 0xFFFE
  SAVE(r19)

; 0x21C: SREG written through STS and read back through LDS
  ldi r16, 0xA5
  sts 0x5F, r16
  lds r17, 0x5F
  SAVE(r17)
  clr r16
  out SREG_IO, r16

; 0x21D: XCH, LAS, LAC, LAT on 0x410 = 0x12 with R5 = 0x34
  ldi r30, 0x10
  ldi r31, 0x04
  ldi r16, 0x12
  ldi r17, 0x34
  st Z, r16
  mov r5, r17
  .word 0x9254            ; XCH Z,r5 (not in avr-as for this core)
  SAVE(r5)                ; 0x12
  ld r0, Z
  SAVE(r0)                ; 0x34
  st Z, r16
  mov r5, r17
  .word 0x9255            ; LAS Z,r5
  SAVE(r5)                ; 0x36
  st Z, r16
  mov r5, r17
  .word 0x9256            ; LAC Z,r5
  SAVE(r5)                ; 0x02
  st Z, r16
  mov r5, r17
  .word 0x9257            ; LAT Z,r5
  SAVE(r5)                ; 0x26
  ld r0, Z
  SAVE(r0)                ; 0x26

; 0x223: skips over two-word instructions and over one-word ones
  ldi r16, 0x08
  ldi r17, 0
  sbrs r16, 3
  sts 0x0300, r16         ; skipped: two words
  inc r17
  cpse r16, r16
  lds r17, 0x0200         ; skipped: two words
  inc r17
  sbrc r16, 3
  inc r17                 ; not skipped
  sbic 0x1E, 0            ; GPIOR0 bit 0 after reset: 1, not skipped
  inc r17
  SAVE(r17)               ; 4

; 0x224: program memory through LPM Z+
  ldi r30, lo8(table)
  ldi r31, hi8(table)
  lpm r16, Z+
  lpm r17, Z+
  lpm r18, Z
  SAVE(r16)
  SAVE(r17)
  SAVE(r18)

; 0x227: BST/BLD, BSET/BCLR through SREG
  ldi r16, 0x80
  bst r16, 7
  clr r17
  bld r17, 2
  SAVE(r17)               ; 0x04
  clr r16
  out SREG_IO, r16
  sec
  sez
  set
  clc
  SAVE_SREG               ; Z T

; 0x229: RCALL/RET and ICALL keep the stack balanced; the callee counts its calls
  clr r20
  rcall bump
  ldi r30, lo8(pm(bump))
  ldi r31, hi8(pm(bump))
  icall
  SAVE(r20)               ; 2
  in r18, 0x3D
  SAVE(r18)               ; 0xFF

  .word 0x9404            ; stop: undefined instruction
bump:
  inc r20
  ret

table:
  .byte 0xDE, 0xAD, 0xBE, 0xEF
