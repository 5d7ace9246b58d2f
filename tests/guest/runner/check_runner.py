"""velmora-run end to end: exit statuses, boot report, dump formats, limits and tracing.

usage: check_runner.py VELMORA_RUN BINARY_DIR GROUP
GROUP is one of the functions named in GROUPS below; each is one ctest test.
"""

import atexit
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile

import velmora_test as vt

runner, (binary_dir, group) = vt.setup(sys.argv)
SOURCE_ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..", ".."))


def program(name):
    return os.path.join(binary_dir, name + ".hex")


def record(kind, offset, payload):
    body = bytes([len(payload), offset >> 8, offset & 0xFF, kind]) + bytes(payload)
    return ":" + body.hex().upper() + "%02X" % (-sum(body) & 0xFF) + "\n"


END = ":00000001FF\n"
tmp = tempfile.mkdtemp(prefix="velmora-runner-")
atexit.register(shutil.rmtree, tmp, True)


def write_hex(name, text):
    path = os.path.join(tmp, name)
    with open(path, "w") as f:
        f.write(text)
    return path


def check_state():
    r = vt.run_guest(program("runner_state"),
                     ["--seed", "1", "--dump-memory", "0x200:48", "--dump-memory", "0x5B:5",
                      "--dump-memory", "0x7FFE:3", "--dump-memory", "512:20",
                      "--dump-memory", "0xFFF0:16"])
    vt.expect_equal("exit status", r.exit_code, vt.EXIT_FAULT, r)
    # The exact text (state.expected): the registers state.S loads (r(n) = n * 7 + 1), SREG, SP,
    # RAMPZ and EIND it sets, in a fixed order; then each range in 16-byte lines (the I/O
    # registers as the guest sees them, SREG composed from the flags; the reset fill at the top).
    with open(os.path.join(os.path.dirname(__file__), "state.expected")) as f:
        vt.expect_equal("dump", r.stdout, f.read(), r)
    vt.expect(re.search(r"fault 2 .*pc 0x000048", r.stderr) is not None,
              "end report names the fault and pc", r)
    vt.expect(re.search(r"\b260 instructions\b", r.stderr) is not None,
              "end report counts instructions", r)


def check_limits():
    # jmp, ldi, then inc/rjmp pairs: the count decides r16 and pc exactly, also across the
    # runner's internal chunks of instructions.
    for limit, r16, pc in [(1, 0xFF, 2), (2, 0x00, 3), (1001, 0xF4, 4), (262145, 0x00, 4),
                           (262146, 0x00, 3), (262147, 0x01, 4), (600000, (599998 // 2) & 0xFF, 3)]:
        r = vt.run_guest(program("runner_loop"), ["--max-instructions", limit])
        vt.expect_equal("exit after %d" % limit, r.exit_code, vt.EXIT_LIMIT, r)
        vt.expect_equal("instructions after %d" % limit, r.state.get("instructions"), limit, r)
        vt.expect_equal("fault after %d" % limit, r.state.get("fault"), 0, r)
        if limit > 1:
            vt.expect_equal("r16 after %d" % limit, r.state.get("r16"), r16, r)
        vt.expect_equal("pc after %d" % limit, r.state.get("pc"), pc, r)
        vt.expect("instruction limit" in r.stderr, "end report names the limit %d" % limit, r)
    # The limit still applies with a timeout, whichever comes first.
    r = vt.run_guest(program("runner_loop"), ["--timeout", "60", "--max-instructions", "50"])
    vt.expect_equal("limit before timeout", r.exit_code, vt.EXIT_LIMIT, r)


def check_boot():
    state = program("runner_state")
    r = vt.run_guest(state, ["--max-instructions", "1"])
    vt.expect_equal("runs after a good load", r.exit_code, vt.EXIT_LIMIT, r)
    report = [l for l in r.stderr.splitlines() if not l.startswith("velmora-run:")]
    vt.expect(len(report) == 2 and report[0] == "Velmora ver. 0" and
              re.fullmatch(r"HEX Load Ok [1-9][0-9]* bytes", report[1]), "boot report", r)
    # A program that comes through a pipe, which has no size, loads as from a file. (POSIX only:
    # Windows has no name for the standard input's pipe.)
    if not vt.WINDOWS:
        with open(state, "rb") as f:
            piped = vt.run_guest("/dev/stdin", [], input=f.read())
        vt.expect_equal("piped program", piped.state, vt.run_guest(state, []).state, piped)

    too_big = write_hex("big.hex", record(0, 0, [0x0C, 0x94, 0, 0]) + record(4, 0, [0, 4]) +
                        record(0, 0x0FFF, [1, 2]) + END)
    gap_first = write_hex("first0B.hex", record(0, 0, [0x0B, 0x94]) + END)
    cases = [
        # name, path, the boot report after the banner, what velmora-run adds to explain it
        ("missing", os.path.join(tmp, "no-such.hex"),
         ["Load HEX program error 10", "Program not found"], "cannot be opened (code 10)"),
        ("too big", too_big,
         ["Load HEX program error 12", "Program too big. Supports only 256kB."],
         "line 3: data at 0x41000, beyond program memory"),
        # avr-objcopy without -R .fuse: the fuse bytes land at 0x820000.
        ("fuse section", write_hex("fuse.hex", record(0, 0, [0x0C, 0x94, 0, 0]) +
                                   record(4, 0, [0, 0x82]) + record(0, 0, [0xFF, 0x99, 0xFD]) +
                                   END),
         ["Load HEX program error 12", "Program too big. Supports only 256kB."],
         "line 3: data at 0x820000, where avr-gcc puts the .fuse section: the .eeprom, .fuse, "
         ".lock and .signature sections are not program memory"),
        ("bad checksum", write_hex("sum.hex", ":020000000C9463\n" + END),
         ["Load HEX program error 3", "Program not found"], "line 1: wrong checksum (code 3)"),
        ("start address record", write_hex("start.hex", record(0, 0, [0x0C, 0x94, 3, 0]) +
                                           record(3, 0, [0, 0, 0, 6]) + END),
         ["Load HEX program error 4", "Program not found"], "line 2: a record type other"),
        ("no end record", write_hex("short.hex", record(0, 0, [0x0C, 0x94, 0, 0])),
         ["Load HEX program error 11", "Program not found"], "line 2: the file ends before"),
        ("first byte 0x0B", gap_first, ["Error: bad instruction"],
         "the byte at address 0 is 0x0B"),
        ("first byte 0xFD", write_hex("firstFD.hex", record(0, 0, [0xFD, 0xCF]) + END),
         ["Error: bad instruction"], "the byte at address 0 is 0xFD"),
    ]
    for name, path, after, explanation in cases:
        r = vt.run_guest(path, [])
        vt.expect_equal(name + ": exit", r.exit_code, vt.EXIT_LOAD_FAILED, r)
        lines = r.stderr.splitlines()
        vt.expect_equal(name + ": boot report",
                        [l for l in lines if not l.startswith("velmora-run:")],
                        ["Velmora ver. 0"] + after, r)
        vt.expect(lines[-1].startswith("velmora-run: " + path) and explanation in lines[-1],
                  name + ": explained", r)
        vt.expect_equal(name + ": nothing ran", r.state.get("instructions"), 0, r)
        # --quiet leaves out the boot report, never the reason.
        quiet = vt.run_guest(path, ["--quiet"])
        vt.expect_equal(name + ": quiet exit", quiet.exit_code, vt.EXIT_LOAD_FAILED, quiet)
        vt.expect_equal(name + ": quiet stderr", quiet.stderr.splitlines(), lines[-1:], quiet)

    # The first-byte range is inclusive at both ends.
    for first, word in [(0x0C, [0x0C, 0x94, 0, 0]), (0xFC, [0xFC, 0xE0])]:
        r = vt.run_guest(write_hex("first%02X.hex" % first, record(0, 0, word) + END),
                         ["--max-instructions", "1"])
        vt.expect_equal("first byte 0x%02X runs" % first, r.exit_code, vt.EXIT_LIMIT, r)
        vt.expect("HEX Load Ok 4 bytes" in r.stderr if first == 0x0C else
                  "HEX Load Ok 2 bytes" in r.stderr, "size for first byte 0x%02X" % first, r)
    # LDI r31, 0x0C is the instruction 0xE0FC.
    vt.expect_equal("0xE0FC ran", r.state.get("r31"), 0x0C, r)

    # --quiet keeps the stderr of a run that loads clean but changes nothing else.
    r = vt.run_guest(state, ["--quiet"])
    vt.expect_equal("quiet run", (r.exit_code, r.stderr), (vt.EXIT_FAULT, ""), r)


def check_cli():
    state = program("runner_state")
    shot_dir = os.path.join(tmp, "dir.png")
    os.makedirs(shot_dir)
    usage = [
        ([], "no program"), ([state, state], "two programs"),
        (["--frobnicate", state], "unknown option"),
        (["--dump-memory", "0xFFFF:2", state], "range beyond the data space"),
        (["--dump-memory", "0x200:zz", state], "bad length"),
        (["--max-instructions", "0", state], "zero count"),
        (["--max-instructions", " -5", state], "negative count after a space"),
        (["--max-instructions", "1e3", state], "not an integer"),
        (["--timeout", "0", state], "zero timeout"),
        (["--seed", "4294967296", state], "seed too large"),
        (["--dump-state=yes", state], "value for a flag"),
        ([state, "--max-instructions"], "missing value"),
        (["--screenshot", os.path.join(tmp, "shot.gif"), state], "screenshot neither PNG nor BMP"),
        (["--screenshot", shot_dir, state], "screenshot onto a directory"),
    ]
    for args, why in usage:
        r = vt.run_guest(None, args, dump_state=False)
        vt.expect_equal("usage error: " + why, r.exit_code, vt.EXIT_USAGE, r)
        vt.expect(r.stdout == "" and "velmora-run" in r.stderr, "usage error reported: " + why, r)

    r = vt.run_guest(None, ["--help"], dump_state=False)
    vt.expect_equal("help exit", r.exit_code, 0, r)
    for word in ["--max-instructions", "--timeout", "--dump-state", "--dump-memory", "--trace",
                 "--seed", "--quiet", "--version", "--help", "  0 ", "  1 ", "  2 ", "  3 ", "  4 ",
                 "  5 ", "  64 "]:
        vt.expect(word in r.stdout, "help mentions %r" % word, r)
    # The screenshot's directory is checked before the run: nothing ran, the reason is given.
    r = vt.run_guest(state, ["--screenshot", os.path.join(tmp, "no", "x.png")])
    vt.expect("No such file or directory" in r.stderr and "instructions" not in r.stdout,
              "unwritable screenshot refused before the run", r)

    # The version the build was made from, and the engine that runs the guest.
    with open(os.path.join(SOURCE_ROOT, "CMakeLists.txt")) as f:
        version = re.search(r"project\(Velmora VERSION ([0-9.]+)", f.read()).group(1)
    # The engine: --engine, else VELMORA_ENGINE (the suite runs once with each), else the JIT.
    default = os.environ.get("VELMORA_ENGINE", "jit")
    clean = {k: v for k, v in os.environ.items() if k != "VELMORA_ENGINE"}
    for args, env, engine in [([], None, default), ([], clean, "jit"),
                              (["--engine", "reference"], None, "reference"),
                              (["--engine", "jit"], dict(clean, VELMORA_ENGINE="fast"), "jit"),
                              (["--engine=fast"], dict(clean, VELMORA_ENGINE="reference"), "fast"),
                              ([], dict(clean, VELMORA_ENGINE="reference"), "reference")]:
        r = vt.run_guest(None, args + ["--version"], dump_state=False, env=env)
        vt.expect_equal("version %s" % args, (r.exit_code, r.stdout, r.stderr),
                        (0, "velmora-run %s, engine %s\n" % (version, engine), ""), r)
    for args, env in [(["--engine", "turbo"], None), ([], dict(clean, VELMORA_ENGINE="turbo"))]:
        r = vt.run_guest(state, args, env=env)
        vt.expect(r.exit_code == vt.EXIT_USAGE and "jit, fast or reference" in r.stderr,
                  "unknown engine refused: %s %s" % (args, env and env.get("VELMORA_ENGINE")), r)

    # A leading zero is decimal, not octal; hexadecimal needs 0x.
    for text, count in [("010", 10), ("0X1f", 31)]:
        r = vt.run_guest(state, ["--max-instructions", text, "--dump-memory", "0200:2"])
        vt.expect_equal("count " + text, r.state.get("instructions"), count, r)
        vt.expect_equal("decimal start", r.memory(200, 2), b"\xFF\xFF", r)
    # Options may follow the program.
    c = vt.run_guest(state, ["--max-instructions", "10"], dump_state=False)
    d = vt.run_guest(None, [state, "--max-instructions", "10", "--dump-state"], dump_state=False)
    vt.expect_equal("options after the program", d.exit_code, vt.EXIT_LIMIT, d)
    vt.expect_equal("no dump unless asked", c.stdout, "", c)
    # After "--" everything is the program, even a name that looks like an option.
    odd = os.path.join(tmp, "--odd.hex")
    shutil.copy(state, odd)
    e = vt.run_guest(None, ["--dump-state", "--", odd], dump_state=False)
    vt.expect_equal("program after --", e.state.get("instructions"), 260, e)
    e = vt.run_guest(None, ["--", odd, odd], dump_state=False)
    vt.expect_equal("two programs after --", e.exit_code, vt.EXIT_USAGE, e)


def check_trace():
    path = os.path.join(tmp, "trace.txt")
    r = vt.run_guest(program("runner_loop"), ["--max-instructions", "7", "--trace=" + path])
    vt.expect_equal("exit", r.exit_code, vt.EXIT_LIMIT, r)
    # One line per instruction: pc, word and the instruction (trace.expected).
    with open(path) as f, open(os.path.join(os.path.dirname(__file__), "trace.expected")) as g:
        vt.expect_equal("trace", f.read().splitlines(), g.read().splitlines(), r)
    fmt = re.compile(r"^([0-9A-F]{6})  ([0-9A-F]{4})  (\S.*)$")

    # Tracing changes nothing the guest sees; to stderr it is one line per instruction as well.
    plain = vt.run_guest(program("runner_state"), [])
    traced = vt.run_guest(program("runner_state"), ["--trace"])
    vt.expect_equal("traced state", traced.state, plain.state, traced)
    vt.expect_equal("traced exit", traced.exit_code, vt.EXIT_FAULT, traced)
    trace_lines = [l for l in traced.stderr.splitlines() if fmt.match(l)]
    vt.expect_equal("stderr trace lines", len(trace_lines), 260, traced)
    vt.expect(trace_lines[-1].startswith("000048  9404"), "last traced is the stop", traced)

    # The service trace: one line per call after the call, with the service's name.
    services = vt.run_guest(program("runner_random"), ["--seed", "1", "--trace-services"])
    calls = [l for l in services.stderr.splitlines() if re.match(r"^[0-9A-F]{6}  \d+\.\d+  ", l)]
    vt.expect_equal("service lines", [l.split("  ")[1:3] for l in calls],
                    [["9.25", "random word"]] * 8, services)


def check_ending():
    # The program runs in its own directory: started from elsewhere with a relative path, written
    # with either separator. (check_safety.py's exits group checks the ways a run can end.)
    for index, separator in enumerate("/\\"):
        name = "ending " + separator
        start = os.path.realpath(os.path.join(tmp, "end%d" % index))
        home = os.path.join(start, "sub")
        os.makedirs(home)
        shutil.copy(program("runner_ending"), home)
        relative = "sub" + separator + "runner_ending.hex"
        dumps = ["--dump-memory", "0x1F0:3", "--dump-memory", "0x300:512", "--dump-memory",
                 "0x500:512"]
        r = vt.run_guest(relative, ["--close", "5"] + dumps, cwd=start, timeout=30)
        vt.expect_equal(name + ": exit", r.exit_code, vt.EXIT_QUIT, r)
        vt.expect_equal(name + ": statuses", r.memory(0x1F0, 3), b"\0\0\xA5", r)
        vt.expect_equal(name + ": working directory", r.cstring(0x300),
                        vt.guest_path(home).encode(), r)
        vt.expect_equal(name + ": program path", r.cstring(0x500),
                        relative.replace("/", "\\").encode(), r)


def check_seed():
    def draws(*args):
        r = vt.run_guest(program("runner_random"), list(args) + ["--dump-memory", "0x180:16"])
        vt.expect_equal("exit", r.exit_code, vt.EXIT_FAULT, r)
        return r.memory(0x180, 16)
    first = draws("--seed", "1")
    vt.expect_equal("same seed, same numbers", draws("--seed=1"), first)
    vt.expect(draws("--seed", "2") != first, "another seed, other numbers")
    vt.expect(len(set(first[i:i + 2] for i in range(0, 16, 2))) > 1, "the draws vary: %r" % first)
    vt.expect_equal("largest seed", draws("--seed", "4294967295"), draws("--seed", "0xFFFFFFFF"))


def check_screen():
    # The boot report is drawn on the screen as well: one 16-pixel line at y 0, 16, 32 or 48 each.
    too_big = write_hex("screen-big.hex", record(4, 0, [0, 4]) + record(0, 0x1000, [1]) + END)
    bad_first = write_hex("screen-bad.hex", record(0, 0, [0xFD, 0xCF]) + END)
    cases = [("missing", os.path.join(tmp, "absent.hex"), [], {0, 16, 48}),
             ("too big", too_big, [], {0, 16, 32}),
             ("bad first instruction", bad_first, [], {0, 16}),
             ("loaded", program("runner_state"), ["--max-instructions", "1"], {0, 16})]
    for name, path, args, lines in cases:
        shot = os.path.join(tmp, "boot.png")
        r = vt.run_guest(path, args + ["--screenshot", shot])
        if not vt.expect(os.path.exists(shot), name + ": screenshot written", r):
            continue
        width, height, rows = vt.read_picture(shot)
        background = rows[height - 1][width - 1]
        lit = [any(px != background for px in row) for row in rows]
        for y in (0, 16, 32, 48):
            if y in lines:
                vt.expect(any(lit[y:y + 16]), "%s: line at y %d drawn" % (name, y), r)
            else:
                # Descenders of the line above may reach a few rows into this one.
                vt.expect(not any(lit[y + 4:y + 16]), "%s: nothing at y %d" % (name, y), r)
        vt.expect(not any(lit[68:]), name + ": nothing below the report", r)

    # A .bmp name gets a BMP file of the same picture.
    png, bmp = [os.path.join(tmp, "same." + kind) for kind in ("png", "bmp")]
    for shot in (png, bmp):
        vt.run_guest(program("runner_state"), ["--screenshot", shot])
    vt.expect_equal("BMP and PNG show the same", vt.read_picture(bmp), vt.read_picture(png))

    # A file that takes no data (a name for /dev/full) passes the check before the run, then
    # fails at the end: status 5 and the reason, whatever ended the run.
    for kind in ("png", "bmp"):
        full = os.path.join(tmp, "full." + kind)
        os.symlink("/dev/full", full)
        r = vt.run_guest(program("runner_state"), ["--screenshot", full])
        vt.expect_equal(kind + " screenshot not written: exit", r.exit_code,
                        vt.EXIT_SCREENSHOT_FAILED, r)
        vt.expect("cannot write the screenshot" in r.stderr and
                  r.state.get("instructions") == 260, kind + " screenshot not written: told", r)


def check_hints():
    # With nothing to end it, a run tells once why it goes on: the program waits for input
    # (it pumps), or it computes without pumping. The delay is short here; the runs are ended
    # with Ctrl-C once the hint came, or after several delays when none may come.
    delay = 0.2
    env = dict(os.environ, VELMORA_HINT_SECONDS=str(delay))
    waiting = ("waiting for input", ["--click", "--script", "--close", "--timeout"])
    busy = ("has not pumped messages", ["computing", "Ctrl-C"])
    cases = [("pumping", "runner_ending", [], waiting),
             ("not pumping", "runner_loop", [], busy),
             ("quiet", "runner_ending", ["--quiet"], None),
             ("input still to come", "runner_ending", ["--close", "4000000000"], None),
             ("bounded by a timeout", "runner_ending", ["--timeout", str(8 * delay)], None),
             ("bounded by a limit", "runner_loop", ["--max-instructions", "10000000000"], None)]
    for name, guest, args, hint in cases:
        r = vt.run_signalled(args + [program(guest)], hint and hint[0], 6 * delay, env=env)
        told = [l for l in r.stderr.splitlines() if "waiting for input" in l or "pumped" in l]
        if hint is None:
            vt.expect_equal(name + ": no hint", told, [], r)
            continue
        vt.expect(len(told) == 1 and hint[0] in told[0] and all(w in told[0] for w in hint[1]),
                  name + ": one hint that says what to do", r)
        vt.expect_equal(name + ": ended by Ctrl-C", r.exit_code, 128 + signal.SIGINT, r)


def check_readme():
    # The by-hand build in the READMEs, as written, for a program that declares fuses, lock bits
    # and a signature: the HEX file must hold the program only, and the program must run.
    for readme, source_name in (("README.md", "myprog.c"), ("examples/README.md", "prog.c")):
        with open(os.path.join(SOURCE_ROOT, readme)) as f:
            commands = [l.strip() for l in f if re.match(r"\s*avr-(gcc|objcopy) ", l)]
        vt.expect(len(commands) == 2, "%s: two by-hand commands, got %r" % (readme, commands))
        work = os.path.join(tmp, "byhand-" + source_name)
        os.makedirs(work)
        shutil.copy(os.path.join(os.path.dirname(__file__), "fuses.c"),
                    os.path.join(work, source_name))
        os.symlink(os.path.join(SOURCE_ROOT, "sdk"), os.path.join(work, "sdk"))
        for command in commands:
            command = command.replace("path/to/velmora", SOURCE_ROOT)
            built = subprocess.run(command, shell=True, cwd=work, capture_output=True, text=True)
            vt.expect(built.returncode == 0, "%s: %s\n%s" % (readme, command, built.stderr))
        stem = os.path.splitext(source_name)[0]
        r = vt.run_guest(os.path.join(work, stem + ".hex"), ["--dump-memory", "0x200:4"])
        vt.expect_equal(readme + ": runs", (r.exit_code, r.memory(0x200, 4) if r.state else b""),
                        (vt.EXIT_FAULT, b"FUSE"), r)


GROUPS = {"state": check_state, "limits": check_limits, "boot": check_boot, "cli": check_cli,
          "trace": check_trace, "ending": check_ending, "seed": check_seed, "screen": check_screen,
          "hints": check_hints, "readme": check_readme}
GROUPS[group]()
vt.finish()
