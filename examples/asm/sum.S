; A program in assembly: adds the numbers 1 to 100 with the 32-bit addition service (group 9,
; function 1: A32 at 0x60 += B32 at 0x64), keeps the sum in RAM at 0x200, and ends cleanly.
;
;   velmora-run --dump-memory 0x200:4 sum.hex     (the sum: BA 13 00 00, 5050)
#include "velmora.inc"

  .text
  .global main
main:
  ; sum = 0
  clr r1
  sts VM_ARGS + 0, r1
  sts VM_ARGS + 1, r1
  sts VM_ARGS + 2, r1
  sts VM_ARGS + 3, r1
  ; B32 = n, counting down from 100; its upper three bytes stay 0
  sts VM_ARGS + 5, r1
  sts VM_ARGS + 6, r1
  sts VM_ARGS + 7, r1
  ldi r17, 100
1:
  sts VM_ARGS + 4, r17
  vm_call VM_ARITHMETIC, 1
  dec r17
  brne 1b
  ; copy the sum to 0x200
  lds r18, VM_ARGS + 0
  sts 0x200, r18
  lds r18, VM_ARGS + 1
  sts 0x201, r18
  lds r18, VM_ARGS + 2
  sts 0x202, r18
  lds r18, VM_ARGS + 3
  sts 0x203, r18
  vm_exit
