; Counts in r16 for ever: the instruction limit and the timeout must stop it.
  .text
  .global entry
entry:
  jmp start              ; the boot accepts a program whose first byte is 0x0C..0xFC
start:
  ldi r16, 0
1:
  inc r16
  rjmp 1b
