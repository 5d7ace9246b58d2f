"""The processor end to end: guest programs run in velmora-run, results read from the dumps.

usage: check_cpu.py VELMORA_RUN BINARY_DIR arithmetic|far|faults
"""

import os
import struct
import subprocess
import zlib

import velmora_test as vt


def run(binary_dir, name, *dumps):
    args = ["--quiet", "--max-instructions", "20000000"]
    for start, length in dumps:
        args += ["--dump-memory", "0x%X:%d" % (start, length)]
    return vt.run_halting(os.path.join(binary_dir, name + ".hex"), args)


def arithmetic(binary_dir):
    r = run(binary_dir, "cpu_arithmetic", (0x100, 0x34))
    text = b"The quick brown fox jumps over the lazy dog"
    vt.expect_equal("crc32", r.dword(0x100), zlib.crc32(text))
    vt.expect_equal("64-bit product", int.from_bytes(r.memory(0x104, 8), "little"),
                    (0x12345678ABCD * 0x9876) % (1 << 64))
    vt.expect_equal("64-bit quotient", int.from_bytes(r.memory(0x10C, 8), "little"),
                    0xFEDCBA9876543210 // 12345)
    vt.expect_equal("signed remainder", struct.unpack("<i", r.memory(0x114, 4))[0], -567)
    vt.expect_equal("float", r.memory(0x118, 4), struct.pack("<f", 10.0 / 4.0 + 0.25))
    vt.expect_equal("fib(20)", r.word(0x11C), 6765)
    vt.expect_equal("sorted", r.memory(0x11E, 16),
                    bytes(sorted((i * 97 + 13) & 0xFF for i in range(16))))
    vt.expect_equal("table lookup", r.word(0x12E), sum([11, 203, 37, 4111, 5, 619, 77, 8080, 9,
                                                         1000, 1, 1]))
    vt.expect_equal("16-bit division", struct.unpack("<h", r.memory(0x130, 2))[0], -4285)
    vt.expect_equal("function pointers", r.word(0x132), 42)


def far(binary_dir):
    def table(seed):
        return [(i * i * 7 + seed * 101 + (i >> 2)) & 0xFF for i in range(256)]

    def rotating_hash(data):
        h = 0
        for b in data:
            h = (((h << 1) | (h >> 15)) + b) & 0xFFFF
        return h

    r = run(binary_dir, "cpu_far", (0x100, 0x12), (0x180, 12))
    for seed in (1, 2, 3):
        vt.expect_equal("ELPM table %d" % seed, r.word(0xFE + 2 * seed), rotating_hash(table(seed)))
    vt.expect_equal("ELPM Z+ across 0x30000", r.word(0x106), sum(table(2)) & 0xFFFF)
    vt.expect_equal("RAMPZ after ELPM Z+", r.byte(0x108), 3)
    vt.expect_equal("far call and callback", r.word(0x10A), (2 * 1234 + 1) ^ ((1234 << 3) + 0x55))
    vt.expect_equal("EICALL with EIND 1", r.word(0x10C), 1001)
    vt.expect_equal("EIJMP out and JMP back", r.word(0x10E), 96)
    vt.expect_equal("pointer to a far function", r.word(0x110), (1234 << 3) + 0x55)
    for at, what in ((0x180, "near"), (0x186, "far")):
        vt.expect_equal(what + " return address, low byte first", r.memory(at, 3),
                        r.memory(at + 3, 3))
    vt.expect_equal("far return address above 64 K words", r.byte(0x188), 1)


def faults(binary_dir):
    # fault code: the pc where the machine stopped and SP (a call pushed before it faulted)
    for code, (pc, sp) in {5: (5, 0xFFFF), 6: (5, 0xFFFF), 7: (0x20800, 0xFFFF), 8: (7, 0xFFFF),
                           9: (0, 0xFFFF), 12: (0, 0xFFFF), 13: (0, 0xFFFC), 14: (0, 0xFFFC),
                           16: (0, 0xFFFC)}.items():
        r = vt.run_guest(os.path.join(binary_dir, "cpu_fault%d.hex" % code),
                         ["--max-instructions", "1000"])
        want = {"exit": vt.EXIT_FAULT, "fault": code, "pc": pc, "sp": sp}
        if code in (6, 8):
            want["r0"] = 0  # the failed load gives 0
        got = dict(r.state, exit=r.exit_code)
        vt.expect_equal("fault %d" % code, {k: got.get(k) for k in want}, want, r)


def jit_fallback(binary_dir):
    # The same run on the JIT, then where no memory can be made executable (mprotect) nor mapped
    # a second time, executable (mmap). The JIT's one-mapping path runs in the Windows build.
    wrapper = [os.environ["VELMORA_NO_EXEC_MEMORY"]]
    command = vt.runner_command() + ["--engine", "jit", "--quiet", "--dump-state",
                                     "--max-instructions", "20000000", "--dump-memory", "0x100:52",
                                     os.path.join(binary_dir, "cpu_arithmetic.hex")]
    jit, fallback = [subprocess.run(prefix + command, capture_output=True)
                     for prefix in ([], wrapper)]
    vt.expect_equal("exit and dumps", (fallback.returncode, fallback.stdout),
                    (jit.returncode, jit.stdout))
    vt.expect_equal("note", b"the JIT engine runs the fast engine instead" in fallback.stderr,
                    True, fallback.stderr)
    versions = [subprocess.run(prefix + vt.runner_command() + ["--engine", "jit", "--version"],
                               capture_output=True) for prefix in ([], wrapper)]
    vt.expect_equal("--version", [v.stdout.decode().split(", ")[1].strip() for v in versions],
                    ["engine jit", "engine fast (the JIT cannot run on this host)"])


vt.main({"arithmetic": arithmetic, "far": far, "faults": faults, "jit_fallback": jit_fallback})
