"""The processor end to end: guest programs run in velmora-run, results read from the dumps.

usage: check_cpu.py VELMORA_RUN BINARY_DIR GROUP
GROUP: instructions, arithmetic, far, or faultN for the program that stops with fault N.
"""

import os
import struct
import sys
import zlib

import velmora_test as vt

runner, (binary_dir, group) = vt.setup(sys.argv)


def program(name):
    return os.path.join(binary_dir, name + ".hex")


def run_to_halt(name, dumps):
    """Runs a program that ends on vm_halt() and checks that it got there."""
    args = ["--quiet", "--max-instructions", "20000000"]
    for start, length in dumps:
        args += ["--dump-memory", "0x%X:%d" % (start, length)]
    r = vt.run_guest(program(name), args)
    vt.expect_equal(name + " exit", r.exit_code, vt.EXIT_FAULT, r)
    vt.expect_equal(name + " fault", r.state.get("fault"), vt.FAULT_UNDEFINED, r)
    return r


def instructions():
    expected = bytes([
        0x80, 0x2C,                    # ADD 0x7F+1, H V N
        0x00, 0x00, 0x00, 0x01,        # 32-bit ADD/ADC carry chain
        0x02, 0x35,                    # CP/CPC chain: equal keeps Z; borrow runs through
        0xFF, 0x0F,                    # SUBI/SBCI
        0x01, 0xFE, 0x80, 0x00, 0x00, 0x80, 0x21,  # MUL, MULS, FMULSU and its flags
        0x0D,                          # LSR, ROR, ASR, SWAP
        0x23, 0xFF, 0xFF,              # ADIW to zero, SBIW below zero
        0x11, 0x33, 0x33, 0x01,        # ST Y+/-Y, STD, LD Z+, LDD
        0xA1, 0xFE, 0xFF,              # PUSH/POP, SP through IN
        0xA5,                          # SREG through STS/LDS
        0x12, 0x34, 0x36, 0x02, 0x26, 0x26,  # XCH, LAS, LAC, LAT
        0x04,                          # skips over two-word and one-word instructions
        0xDE, 0xAD, 0xBE,              # LPM Z+
        0x04, 0x42,                    # BST/BLD, SEC SEZ SET CLC
        0x02, 0xFF,                    # RCALL, ICALL and RET keep SP balanced
    ])
    r = run_to_halt("cpu_instructions", [(0x200, len(expected))])
    got = r.memory(0x200, len(expected))
    for i, (g, w) in enumerate(zip(got, expected)):
        vt.expect_equal("byte 0x%X" % (0x200 + i), g, w, r if g != w else None)


def arithmetic():
    r = run_to_halt("cpu_arithmetic", [(0x100, 0x34)])
    text = b"The quick brown fox jumps over the lazy dog"
    vt.expect_equal("crc32", r.dword(0x100), zlib.crc32(text))
    vt.expect_equal("64-bit product", int.from_bytes(r.memory(0x104, 8), "little"),
                    (0x12345678ABCD * 0x9876) % (1 << 64))
    vt.expect_equal("64-bit quotient", int.from_bytes(r.memory(0x10C, 8), "little"),
                    0xFEDCBA9876543210 // 12345)
    vt.expect_equal("signed remainder", struct.unpack("<i", r.memory(0x114, 4))[0], -567)
    vt.expect_equal("float", r.memory(0x118, 4), struct.pack("<f", 10.0 / 4.0 + 0.25))
    vt.expect_equal("fib(20)", r.word(0x11C), 6765)
    vt.expect_equal("sorted", r.memory(0x11E, 16), bytes(sorted((i * 97 + 13) & 0xFF
                                                                for i in range(16))))
    picks = [11, 203, 37, 4111, 5, 619, 77, 8080, 9, 1000, 1, 1]
    vt.expect_equal("switch table", r.word(0x12E), sum(picks))
    vt.expect_equal("16-bit division", struct.unpack("<h", r.memory(0x130, 2))[0], -4285)
    vt.expect_equal("function pointers", r.word(0x132), 42)


def table(seed):
    return [(i * i * 7 + seed * 101 + (i >> 2)) & 0xFF for i in range(256)]


def rotating_hash(data):
    h = 0
    for b in data:
        h = (((h << 1) | (h >> 15)) + b) & 0xFFFF
    return h


def far():
    r = run_to_halt("cpu_far", [(0x100, 0x12), (0x180, 12)])
    for seed, offset in ((1, 0), (2, 2), (3, 4)):
        vt.expect_equal("ELPM table %d" % seed, r.word(0x100 + offset),
                        rotating_hash(table(seed)))
    vt.expect_equal("ELPM Z+ across 0x30000", r.word(0x106), sum(table(2)) & 0xFFFF)
    vt.expect_equal("RAMPZ after ELPM Z+", r.byte(0x108), 3)
    vt.expect_equal("far call and callback", r.word(0x10A),
                    (2 * 1234 + 1) ^ ((1234 << 3) + 0x55))
    vt.expect_equal("EICALL with EIND 1", r.word(0x10C), 1001)
    vt.expect_equal("EIJMP out and JMP back", r.word(0x10E), 96)
    vt.expect_equal("pointer to a far function", r.word(0x110), (1234 << 3) + 0x55)
    vt.expect_equal("near return address, low byte first", r.memory(0x180, 3),
                    r.memory(0x183, 3))
    vt.expect_equal("far return address, low byte first", r.memory(0x186, 3),
                    r.memory(0x189, 3))
    vt.expect_equal("far return address above 64 K words", r.byte(0x188), 1)


# fault code: (pc where the machine stopped, SP)
FAULTS = {
    2: (2, 0xFFFF), 3: (2, 0xFFFF), 4: (2, 0xFFFF),
    5: (5, 0xFFFF), 6: (5, 0xFFFF),
    7: (0x20800, 0xFFFF),
    8: (7, 0xFFFF),
    9: (0, 0xFFFF), 10: (0, 0xFFFF), 12: (0, 0xFFFF),
    13: (0, 0xFFFC), 14: (0, 0xFFFC), 16: (0, 0xFFFC),
}


def fault(code):
    pc, sp = FAULTS[code]
    r = vt.run_guest(program("cpu_fault%d" % code), ["--max-instructions", "1000"])
    name = "fault %d" % code
    vt.expect_equal(name + " exit", r.exit_code, vt.EXIT_FAULT, r)
    vt.expect_equal(name + " code", r.state.get("fault"), code, r)
    vt.expect_equal(name + " pc", r.state.get("pc"), pc, r)
    vt.expect_equal(name + " sp", r.state.get("sp"), sp, r)
    if code in (6, 8):
        vt.expect_equal(name + " loads 0", r.state.get("r0"), 0, r)


GROUPS = {"instructions": instructions, "arithmetic": arithmetic, "far": far}
for code in FAULTS:
    GROUPS["fault%d" % code] = (lambda c: lambda: fault(c))(code)
GROUPS[group]()
vt.finish()
