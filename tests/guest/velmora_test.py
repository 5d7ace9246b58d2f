"""Shared helper for guest tests: runs a HEX program in velmora-run and reads back its dumps.

A driver is started by ctest as `check_x.py VELMORA_RUN ARGS...`. run_guest adds --dump-state
(r.state: pc, r0..r31, sreg, sp, rampz, eind, fault, instructions); r.memory() reads the
--dump-memory ranges. Expectations collect failures; finish() reports them. Runs inherit the
environment (VELMORA_ENGINE picks the engine). A Windows velmora-run.exe is started under wine
(or VELMORA_RUN_EMULATOR) elsewhere, and WINDOWS is then true.
"""

import os
import re
import shlex
import shutil
import signal
import subprocess
import sys
import threading
import time

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
# ctest's SKIP_RETURN_CODE for the tests that can be skipped.
SKIPPED = 77

_runner = None
failures = []
WINDOWS = False

_MEMORY_LINE = re.compile(r"^mem 0x([0-9A-Fa-f]+):((?: [0-9A-Fa-f]{2})*)\s*$")
_STATE_LINE = re.compile(r"^([a-z][a-z0-9_]*) (0x[0-9A-Fa-f]+|-?[0-9]+)\s*$")


def set_runner(path):
    global _runner, WINDOWS
    _runner = path
    WINDOWS = path is not None and path.lower().endswith(".exe")


def runner_command(exe=None):
    exe = exe or _runner
    if exe.lower().endswith(".exe") and os.name != "nt":
        return shlex.split(os.environ.get("VELMORA_RUN_EMULATOR", "wine")) + [exe]
    return [exe]


set_runner(os.environ.get("VELMORA_RUN"))


def output_text(data):
    """The runner's output as text, CR LF read as LF from a Windows program."""
    text = data.decode("latin-1")
    return text.replace("\r\n", "\n") if WINDOWS else text


def guest_path(path):
    """A host path as the guest sees it: backslashes, and under wine on drive Z:."""
    text = path.replace("/", "\\")
    if WINDOWS and os.name != "nt" and path.startswith("/"):
        text = "Z:" + text
    return text


def setup(argv):
    """velmora-run's path from argv[1], with the one remaining argument or the list of them."""
    if len(argv) < 2:
        sys.stderr.write("usage: %s VELMORA_RUN [ARGS...]\n" % argv[0])
        sys.exit(2)
    set_runner(argv[1])
    rest = argv[2:]
    return (argv[1], rest[0]) if len(rest) == 1 else (argv[1], rest)


def main(groups):
    """`check_x.py VELMORA_RUN BINARY_DIR GROUP`: runs groups[GROUP](BINARY_DIR), then finish()."""
    _, (binary_dir, group) = setup(sys.argv)
    groups[group](binary_dir)
    finish()


class GuestResult:
    def __init__(self, args, exit_code, stdout, stderr):
        self.args, self.exit_code, self.stdout, self.stderr = args, exit_code, stdout, stderr
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
        """The dumped bytes start..start+length-1 (KeyError outside the dumps)."""
        return bytes(self._bytes[a] for a in range(start, start + length))

    def byte(self, address):
        return self._bytes[address]

    def word(self, address):
        return int.from_bytes(self.memory(address, 2), "little")

    def dword(self, address):
        return int.from_bytes(self.memory(address, 4), "little")

    def cstring(self, address, limit=4096):
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
    """Runs hex_path with the options args before it; input is bytes for stdin."""
    exe = runner or _runner
    full = list(str(a) for a in args)
    if dump_state and "--dump-state" not in full:
        full.append("--dump-state")
    if hex_path is not None:
        full.append(str(hex_path))
    proc = subprocess.run(runner_command(exe) + full, cwd=cwd, input=input, capture_output=True,
                          timeout=timeout, env=env)
    return GuestResult(full, proc.returncode, output_text(proc.stdout), output_text(proc.stderr))


def run_signalled(args, wait_for=None, delay=0.1, sig=signal.SIGINT, env=None):
    """velmora-run with args, sent sig `delay` seconds after wait_for showed on its stderr (at
    once if it never shows; a guard sends SIGINT after 60 s)."""
    argv = runner_command() + [str(a) for a in args]
    proc = subprocess.Popen(argv, stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env)
    guard = threading.Timer(60, proc.send_signal, [signal.SIGINT])
    guard.start()
    seen = b""
    while wait_for is not None and wait_for.encode() not in seen:
        line = proc.stderr.readline()
        if not line:
            break
        seen += line
    time.sleep(delay)
    if proc.poll() is None:
        proc.send_signal(sig)
    out, err = proc.communicate(timeout=60)
    guard.cancel()
    return GuestResult(argv, proc.returncode, output_text(out), output_text(seen + err))


def run_halting(hex_path, args=(), **options):
    """run_guest for a program that ends with vm_halt() (exit 1, fault 2)."""
    r = run_guest(hex_path, args, **options)
    if expect_equal("exit", r.exit_code, EXIT_FAULT, r):
        expect_equal("fault", r.state.get("fault"), FAULT_UNDEFINED, r)
    return r


# What tests/guest/checks.h records: the number of checks, of failures, then each failure.
CHECKS = 0x4000
CHECKS_DUMP = ["--dump-memory", "0x4000:2004"]


def report_checks(r, source_path, checks):
    """A failure per failed CHECK() of the guest, named by source line; exactly `checks` ran."""
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


def read_picture(path):
    """(width, height, rows of (r, g, b)) of a PNG file, or a BMP file if the name ends in .bmp,
    decoded by ImageMagick."""
    bmp = path.lower().endswith(".bmp")
    with open(path, "rb") as f:
        data = f.read()
    if not data.startswith(b"BM" if bmp else b"\x89PNG\r\n\x1a\n"):
        raise ValueError("%s: not a %s file" % (path, "BMP" if bmp else "PNG"))
    if bmp and len(data) == 54:  # no pixels: ImageMagick refuses a picture 0 wide or high
        width, height = (int.from_bytes(data[at:at + 4], "little") for at in (18, 22))
        return width, height, [[] for _ in range(height)]
    ppm = subprocess.run(["convert", path, "-depth", "8", "ppm:-"], capture_output=True,
                         timeout=60).stdout
    header = re.match(rb"P6\s+(\d+)\s+(\d+)\s+255\s", ppm)
    if not header:
        raise ValueError("%s: not a picture" % path)
    width, height, data = int(header.group(1)), int(header.group(2)), ppm[header.end():]
    return width, height, [[tuple(data[3 * (y * width + x):3 * (y * width + x) + 3])
                            for x in range(width)] for y in range(height)]


def expect_golden(shot, golden, result=None):
    """shot (PNG, or BMP) must equal golden pixel for pixel (shot stays on a difference);
    VELMORA_UPDATE_GOLDEN=1 makes shot the golden picture."""
    if not expect(os.path.exists(shot), "no picture %s" % shot, result):
        return
    if os.environ.get("VELMORA_UPDATE_GOLDEN") == "1":
        shutil.copyfile(shot, golden)
        print("updated %s" % golden)
        return
    try:
        got, want = read_picture(shot), read_picture(golden)
    except ValueError as error:
        expect(False, str(error), result)
        return
    if not expect_equal("size of " + shot, got[:2], want[:2]):
        return
    differences = [(x, y, got[2][y][x], want[2][y][x]) for y in range(got[1])
                   for x in range(got[0]) if got[2][y][x] != want[2][y][x]]
    if expect(not differences, "%d pixels differ from %s (see %s), first: %s" % (
            len(differences), golden, shot, differences[:8])):
        os.remove(shot)


def expect(condition, message, result=None):
    if not condition:
        failures.append(message + ("\n" + result.describe() if result is not None else ""))
    return condition


def expect_equal(name, got, want, result=None):
    if got != want:
        show = (lambda v: "0x%X (%d)" % (v, v)) if isinstance(got, int) and isinstance(
            want, int) and not isinstance(got, bool) else repr
        failures.append("%s: got %s, want %s" % (name, show(got), show(want)) +
                        ("\n" + result.describe() if result is not None else ""))
        return False
    return True


def finish():
    for f in failures:
        sys.stderr.write("FAIL: " + f + "\n")
    if failures:
        sys.stderr.write("%d expectation(s) failed\n" % len(failures))
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    # `velmora_test.py VELMORA_RUN HEX SOURCE CHECKS [OPTION...]`: a guest that checks itself
    # (checks.h), runs exactly CHECKS checks and ends through vm_halt() or the quit message.
    _, (hex_path, source, checks, *options) = setup(sys.argv)
    r = run_guest(hex_path, options + CHECKS_DUMP)
    if r.exit_code != EXIT_QUIT:
        expect_equal("end", (r.exit_code, r.state.get("fault")), (EXIT_FAULT, FAULT_UNDEFINED), r)
    report_checks(r, source, int(checks))
    finish()
