"""Shared helper for guest tests: runs a HEX program in velmora-run and reads back its dumps.

A driver is started by ctest as `check_x.py VELMORA_RUN ARGS...`; see docs/runner.md. run_guest
always adds --dump-state, so r.state holds pc, r0..r31, sreg, sp, rampz, eind, fault and
instructions; r.memory(start, length) reads the --dump-memory ranges. Expectations collect their
failures; finish() prints them and exits 1 if there was any.

Every run inherits the environment: VELMORA_ENGINE=reference runs the guest on the reference
engine instead of the fast one (tools/test.sh runs every guest test once with each).

The runner may be the Windows build's velmora-run.exe: on another system the drivers then start
it under wine (or the command in VELMORA_RUN_EMULATOR), and WINDOWS is true, for the few checks
that differ between the platforms.
"""

import os
import re
import shlex
import shutil
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

# vm_halt() ends a test program with fault 2 (undefined instruction).
FAULT_UNDEFINED = 2

_runner = None
_failures = []
# True when the runner is a Windows program.
WINDOWS = False

_MEMORY_LINE = re.compile(r"^mem 0x([0-9A-Fa-f]+):((?: [0-9A-Fa-f]{2})*)\s*$")
_STATE_LINE = re.compile(r"^([a-z][a-z0-9_]*) (0x[0-9A-Fa-f]+|-?[0-9]+)\s*$")


def set_runner(path):
    """Sets the velmora-run executable used by run_guest."""
    global _runner, WINDOWS
    _runner = path
    WINDOWS = path is not None and path.lower().endswith(".exe")


def runner_command(exe=None):
    """The command that starts velmora-run (exe, else the runner set up): a Windows program is
    started under wine unless this is Windows itself."""
    exe = exe or _runner
    if exe.lower().endswith(".exe") and os.name != "nt":
        return shlex.split(os.environ.get("VELMORA_RUN_EMULATOR", "wine")) + [exe]
    return [exe]


set_runner(os.environ.get("VELMORA_RUN"))


def output_text(data):
    """What the runner printed, as text; a Windows console program's CR LF line ends read as LF."""
    text = data.decode("latin-1")
    return text.replace("\r\n", "\n") if WINDOWS else text


def guest_path(path):
    """An absolute host path as the runner's platform names it, and so as the guest sees it: with
    backslashes, and for a Windows runner under wine on the drive Z:, which wine maps to /."""
    text = path.replace("/", "\\")
    if WINDOWS and os.name != "nt" and path.startswith("/"):
        text = "Z:" + text
    return text


def setup(argv):
    """Takes velmora-run's path from argv[1]; returns it with the one remaining argument, or with
    the list of them."""
    if len(argv) < 2:
        sys.stderr.write("usage: %s VELMORA_RUN [ARGS...]\n" % argv[0])
        sys.exit(2)
    set_runner(argv[1])
    rest = argv[2:]
    return (argv[1], rest[0]) if len(rest) == 1 else (argv[1], rest)


def main(groups):
    """For drivers started as `check_x.py VELMORA_RUN BINARY_DIR GROUP`: runs groups[GROUP] with
    the binary directory, then finish()."""
    _, (binary_dir, group) = setup(sys.argv)
    groups[group](binary_dir)
    finish()


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
        """Bytes start..start+length-1 from the --dump-memory output (KeyError outside it)."""
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
            if self._bytes[a] == 0:
                break
            out.append(self._bytes[a])
        return bytes(out)

    def describe(self):
        return "velmora-run %s\nexit %d\n--- stdout ---\n%s--- stderr ---\n%s" % (
            " ".join(self.args), self.exit_code, self.stdout[-4000:], self.stderr[-4000:])


def run_guest(hex_path, args=(), runner=None, dump_state=True, cwd=None, input=None,
              timeout=120, env=None):
    """Runs hex_path in velmora-run with the options args (placed before the program) and returns
    a GuestResult. input is bytes for stdin; timeout (seconds) guards the test itself."""
    exe = runner or _runner
    if not exe:
        raise RuntimeError("velmora-run not set: call setup(sys.argv) or set_runner()")
    full = list(str(a) for a in args)
    if dump_state and "--dump-state" not in full:
        full.append("--dump-state")
    if hex_path is not None:
        full.append(str(hex_path))
    proc = subprocess.run(runner_command(exe) + full, cwd=cwd, input=input, capture_output=True,
                          timeout=timeout, env=env)
    return GuestResult(full, proc.returncode, output_text(proc.stdout), output_text(proc.stderr))


def run_halting(hex_path, args=(), **options):
    """run_guest for a program that ends with vm_halt(): expects exit 1 with fault 2."""
    r = run_guest(hex_path, args, **options)
    if expect_equal("exit", r.exit_code, EXIT_FAULT, r):
        expect_equal("fault", r.state.get("fault"), FAULT_UNDEFINED, r)
    return r


# What tests/guest/checks.h records: the number of checks, of failures, then each failure.
CHECKS = 0x4000
CHECKS_DUMP = ["--dump-memory", "0x4000:2004"]


def report_checks(r, source_path, checks):
    """Fails the test for each failure a guest recorded with CHECK(), naming its source line, and
    unless exactly `checks` checks ran (a program that ended early ran fewer)."""
    with open(source_path, encoding="utf-8") as f:
        lines = f.read().splitlines()
    name = os.path.basename(source_path)
    try:
        ran, failed = r.word(CHECKS), r.word(CHECKS + 2)
    except KeyError:
        expect(False, "no checks recorded", r)
        return
    expect_equal("%s: checks run" % name, ran, checks, r)
    for n in range(min(failed, 200)):
        at = CHECKS + 4 + 10 * n
        line = r.word(at)
        text = lines[line - 1].strip() if 0 < line <= len(lines) else "?"
        expect(False, "%s:%d: %s: got 0x%X, want 0x%X" % (name, line, text, r.dword(at + 2),
                                                         r.dword(at + 6)))


def read_png(path):
    """(width, height, rows of (r, g, b) tuples) of an 8-bit RGB or RGBA PNG without interlace,
    such as velmora-run --screenshot writes."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("%s: not a PNG file" % path)
    pos, idat = 8, b""
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
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, previous, at = [], bytearray(stride), 0
    for _ in range(height):
        kind, line = raw[at], bytearray(raw[at + 1:at + 1 + stride])
        at += 1 + stride
        for i in range(stride):
            left = line[i - channels] if i >= channels else 0
            up, corner = previous[i], previous[i - channels] if i >= channels else 0
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


def expect_golden(shot, golden, result=None):
    """The screenshot shot must equal the picture golden pixel for pixel; on a difference shot
    stays to look at. With VELMORA_UPDATE_GOLDEN=1 in the environment, shot becomes golden."""
    if not expect(os.path.exists(shot), "no screenshot %s" % shot, result):
        return
    if os.environ.get("VELMORA_UPDATE_GOLDEN") == "1":
        shutil.copyfile(shot, golden)
        print("updated %s" % golden)
        return
    got, want = read_png(shot), read_png(golden)
    if not expect_equal("size of " + shot, got[:2], want[:2]):
        return
    differences = [(x, y, got[2][y][x], want[2][y][x]) for y in range(got[1])
                   for x in range(got[0]) if got[2][y][x] != want[2][y][x]]
    if expect(not differences, "%d pixels differ from %s (see %s), first: %s" % (
            len(differences), golden, shot, differences[:8])):
        os.remove(shot)


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
    for f in _failures:
        sys.stderr.write("FAIL: " + f + "\n")
    if _failures:
        sys.stderr.write("%d expectation(s) failed\n" % len(_failures))
    sys.exit(1 if _failures else 0)
