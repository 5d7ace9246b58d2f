"""Shared helper for guest tests: runs a HEX program in velmora-run and reads back its dumps.

A test driver is started by ctest with the path of velmora-run, for example

    add_test(NAME area.name
             COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/check_x.py
                     ${VELMORA_RUN} ${CMAKE_CURRENT_BINARY_DIR}/x.hex)
    set_tests_properties(area.name PROPERTIES ENVIRONMENT PYTHONPATH=${VELMORA_GUEST_TEST_LIB})

and inside the driver

    import sys
    import velmora_test as vt
    runner, hex_path = vt.setup(sys.argv)        # first argument: velmora-run, the rest returned
    r = vt.run_guest(hex_path, ["--dump-memory", "0x200:16"])
    vt.expect_equal("exit", r.exit_code, vt.EXIT_FAULT)
    vt.expect_equal("r24", r.state["r24"], 0x2A)  # --dump-state is added by run_guest
    vt.expect_equal("result", r.memory(0x200, 4), b"\\x01\\x02\\x03\\x04")
    vt.finish()                                   # exits 1 and lists every failed expectation

Every run inherits the environment: VELMORA_ENGINE=reference runs the guest on the reference
engine instead of the fast one (tools/test.sh runs every guest test once with each).

run_guest always asks for --dump-state, so r.state holds pc, r0..r31, sreg, sp, rampz, eind,
fault and instructions. r.memory(start, length) returns the bytes of the dumped ranges (asking for
bytes outside every --dump-memory range raises KeyError).
"""

import os
import re
import struct
import subprocess
import sys
import zlib

# velmora-run exit statuses.
EXIT_QUIT = 0  # the guest ended through the quit message (window closed or destroyed)
EXIT_FAULT = 1  # the machine stopped on a fault
EXIT_LOAD_FAILED = 2  # the program did not load, or its first instruction is bad
EXIT_LIMIT = 3  # --max-instructions reached
EXIT_TIMEOUT = 4  # --timeout reached
EXIT_SCREENSHOT_FAILED = 5  # the run ended, but --screenshot could not be written
EXIT_USAGE = 64  # bad command line

# Fault codes a test program meets most often: vm_halt() ends with fault 2.
FAULT_UNDEFINED = 2

_runner = os.environ.get("VELMORA_RUN")
_failures = []

_MEMORY_LINE = re.compile(r"^mem 0x([0-9A-Fa-f]+):((?: [0-9A-Fa-f]{2})*)\s*$")
_STATE_LINE = re.compile(r"^([a-z][a-z0-9_]*) (0x[0-9A-Fa-f]+|-?[0-9]+)\s*$")


def set_runner(path):
    """Sets the velmora-run executable used by run_guest."""
    global _runner
    _runner = path


def setup(argv):
    """Takes velmora-run's path from argv[1] and returns it with the remaining arguments.

    With exactly one remaining argument, returns (runner, that_argument); otherwise
    (runner, list_of_remaining_arguments)."""
    if len(argv) < 2:
        sys.stderr.write("usage: %s VELMORA_RUN [ARGS...]\n" % argv[0])
        sys.exit(2)
    set_runner(argv[1])
    rest = argv[2:]
    return (argv[1], rest[0]) if len(rest) == 1 else (argv[1], rest)


class GuestResult:
    """What one run of velmora-run produced."""

    def __init__(self, args, exit_code, stdout, stderr):
        self.args = args
        self.exit_code = exit_code
        self.stdout = stdout
        self.stderr = stderr
        self.state = {}
        self._bytes = {}
        for line in stdout.splitlines():
            m = _MEMORY_LINE.match(line)
            if m:
                base = int(m.group(1), 16)
                for i, text in enumerate(m.group(2).split()):
                    self._bytes[base + i] = int(text, 16)
                continue
            m = _STATE_LINE.match(line)
            if m:
                self.state[m.group(1)] = int(m.group(2), 0)

    def memory(self, start, length):
        """Bytes start..start+length-1 from the --dump-memory output."""
        return bytes(self._bytes[a] for a in range(start, start + length))

    def byte(self, address):
        return self._bytes[address]

    def word(self, address):
        return int.from_bytes(self.memory(address, 2), "little")

    def dword(self, address):
        return int.from_bytes(self.memory(address, 4), "little")

    def cstring(self, address, limit=4096):
        """The zero-terminated string at address (within the dumped ranges)."""
        out = bytearray()
        for a in range(address, address + limit):
            b = self._bytes[a]
            if b == 0:
                break
            out.append(b)
        return bytes(out)

    def describe(self):
        return "velmora-run %s\nexit %d\n--- stdout ---\n%s--- stderr ---\n%s" % (
            " ".join(self.args), self.exit_code, self.stdout[-4000:], self.stderr[-4000:])


def run_guest(hex_path, args=(), runner=None, dump_state=True, cwd=None, input=None,
              timeout=120, env=None):
    """Runs hex_path in velmora-run with the given options and returns a GuestResult.

    args are velmora-run options placed before the program path (for example
    ["--max-instructions", "1000", "--dump-memory", "0x200:64"]). input is bytes for stdin.
    timeout (seconds) guards the test itself; use "--timeout" in args for the runner's own."""
    exe = runner or _runner
    if not exe:
        raise RuntimeError("velmora-run not set: call setup(sys.argv) or set_runner(), "
                           "or set VELMORA_RUN")
    full = list(str(a) for a in args)
    if dump_state and "--dump-state" not in full:
        full.append("--dump-state")
    if hex_path is not None:
        full.append(str(hex_path))
    proc = subprocess.run([exe] + full, cwd=cwd, input=input, capture_output=True,
                          timeout=timeout, env=env)
    return GuestResult(full, proc.returncode, proc.stdout.decode("latin-1"),
                       proc.stderr.decode("latin-1"))


def read_png(path):
    """(width, height, rows of (r, g, b) tuples) of an 8-bit RGB or RGBA PNG without interlace,
    such as velmora-run --screenshot writes."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("%s: not a PNG file" % path)
    pos, idat = 8, b""
    width = height = channels = None
    while pos < len(data):
        length, kind = struct.unpack_from(">I4s", data, pos)
        body = data[pos + 8:pos + 8 + length]
        pos += 12 + length
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            if depth != 8 or colour not in (2, 6) or interlace != 0:
                raise ValueError("%s: only 8-bit RGB or RGBA without interlace" % path)
            channels = 3 if colour == 2 else 4
        elif kind == b"IDAT":
            idat += body
        elif kind == b"IEND":
            break
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, previous, at = [], bytearray(stride), 0
    for _ in range(height):
        kind, line = raw[at], bytearray(raw[at + 1:at + 1 + stride])
        at += 1 + stride
        for i in range(stride):
            left = line[i - channels] if i >= channels else 0
            up = previous[i]
            corner = previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + left) & 255
            elif kind == 2:
                line[i] = (line[i] + up) & 255
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 255
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                line[i] = (line[i] + (left if pa <= pb and pa <= pc else
                                      up if pb <= pc else corner)) & 255
        rows.append([tuple(line[x * channels:x * channels + 3]) for x in range(width)])
        previous = line
    return width, height, rows


def read_bmp(path):
    """(width, height, rows of (r, g, b) tuples, top row first) of a 24-bit BMP file with a
    40-byte info header, such as velmora-run --screenshot writes."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:2] != b"BM":
        raise ValueError("%s: not a BMP file" % path)
    offset, info, width, height, _, bits = struct.unpack_from("<I I i i H H", data, 10)
    if info != 40 or bits != 24 or height <= 0:
        raise ValueError("%s: only bottom-up 24-bit BMP with a 40-byte info header" % path)
    stride = (width * 3 + 3) // 4 * 4
    rows = []
    for y in reversed(range(height)):
        row = data[offset + y * stride:offset + y * stride + width * 3]
        rows.append([(row[3 * x + 2], row[3 * x + 1], row[3 * x]) for x in range(width)])
    return width, height, rows


def expect(condition, message, result=None):
    """Records a failure when condition is false; result adds the run's output to the report."""
    if not condition:
        _failures.append(message + ("\n" + result.describe() if result is not None else ""))
    return condition


def expect_equal(name, got, want, result=None):
    if got != want:
        show = (lambda v: "0x%X (%d)" % (v, v)) if isinstance(got, int) and isinstance(
            want, int) and not isinstance(got, bool) else repr
        _failures.append("%s: got %s, want %s" % (name, show(got), show(want)) +
                         ("\n" + result.describe() if result is not None else ""))
        return False
    return True


def failures():
    return list(_failures)


def finish():
    """Prints every failed expectation and exits 1 if there was any, else exits 0."""
    if _failures:
        for f in _failures:
            sys.stderr.write("FAIL: " + f + "\n")
        sys.stderr.write("%d expectation(s) failed\n" % len(_failures))
        sys.exit(1)
    sys.exit(0)
