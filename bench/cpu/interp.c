/* A small stack-machine bytecode interpreter running a loop that sums i*i mod 1000 and
 * counts Collatz steps. The dispatch is a switch that the compiler turns into a jump table in
 * program memory (ELPM, then EIJMP). */
#include "workload.h"

#ifndef ROUNDS
#define ROUNDS 1
#endif

enum { PUSH, LOAD, STORE, ADD, SUB, MUL, MOD, DUP, JZ, JMP, LT, HALT, DIV2, ODD };

/* vars: 0 = i, 1 = sum, 2 = n, 3 = steps; PUSH takes a 16-bit little-endian operand. */
static const uint8_t code[] = {
    PUSH,  0,  0,    STORE, 0,        /* 0: i = 0 */
    PUSH,  0,  0,    STORE, 1,        /* 5: sum = 0 */
    PUSH,  0,  0,    STORE, 3,        /* 10: steps = 0 */
    LOAD,  0,  PUSH, 0x58,  0x02, LT, /* 15: while (i < 600) */
    JZ,    96, LOAD, 0,     DUP,  MUL, PUSH,  0xE8, 0x03, MOD,
    LOAD,  1,  ADD,  STORE, 1,                    /* 23: sum += i*i % 1000 */
    LOAD,  0,  PUSH, 1,     0,    ADD, STORE, 2,  /* 36: n = i + 1 */
    PUSH,  1,  0,    LOAD,  2,    LT,  JZ,    86, /* 44: while (1 < n) */
    LOAD,  2,  ODD,  JZ,    71,                   /* 52: if (n odd) */
    LOAD,  2,  DUP,  DUP,   ADD,  ADD, PUSH,  1,    0,    ADD,
    STORE, 2,  JMP,  76,                                      /* 57: n = 3n + 1 */
    LOAD,  2,  DIV2, STORE, 2,                                /* 71: else n /= 2 */
    LOAD,  3,  PUSH, 1,     0,    ADD, STORE, 3,    JMP,  44, /* 76: steps++ */
    LOAD,  0,  PUSH, 1,     0,    ADD, STORE, 0,    JMP,  15, /* 86: i++ */
    HALT,                                                     /* 96 */
};

static uint32_t run(void) {
  uint32_t stack[16];
  uint32_t vars[4] = {0, 0, 0, 0};
  uint8_t sp = 0;
  uint8_t pc = 0;
  for (;;) {
    const uint8_t op = code[pc++];
    switch (op) {
      case PUSH:
        stack[sp++] = code[pc] | ((uint32_t)code[pc + 1] << 8);
        pc += 2;
        break;
      case LOAD:
        stack[sp++] = vars[code[pc++]];
        break;
      case STORE:
        vars[code[pc++]] = stack[--sp];
        break;
      case ADD:
        --sp;
        stack[sp - 1] += stack[sp];
        break;
      case SUB:
        --sp;
        stack[sp - 1] -= stack[sp];
        break;
      case MUL:
        --sp;
        stack[sp - 1] *= stack[sp];
        break;
      case MOD:
        --sp;
        stack[sp - 1] %= stack[sp];
        break;
      case DUP:
        stack[sp] = stack[sp - 1];
        ++sp;
        break;
      case JZ: {
        const uint8_t target = code[pc++];
        if (stack[--sp] == 0) pc = target;
        break;
      }
      case JMP:
        pc = code[pc];
        break;
      case LT:
        --sp;
        stack[sp - 1] = stack[sp - 1] < stack[sp];
        break;
      case DIV2:
        stack[sp - 1] >>= 1;
        break;
      case ODD:
        stack[sp - 1] &= 1;
        break;
      default:
        return vars[1] * 65536ul + vars[3];
    }
  }
}

int main(void) {
  uint32_t check = 0;
  for (uint16_t round = 0; round < ROUNDS; ++round) check = check * 31 + run();
  finish(check);
}
