"""Runs one of the system-service guests under its scripted input and checks what it recorded,
its host log and its window.

usage: check_system.py VELMORA_RUN GUEST HEX SOURCE
"""

import os
import shutil
import sys
import tempfile
import time

import velmora_test as vt

HERE = os.path.dirname(os.path.abspath(__file__))
runner, rest = vt.setup(sys.argv)
guest, hex_path, source = rest

DUMP = vt.CHECKS_DUMP + ["--quiet", "--max-instructions", "50000000"]


def run(args, checks, cwd=None):
    """Runs the guest with a host log; returns the result and the log's lines without times."""
    with tempfile.TemporaryDirectory() as tmp:
        log_path = os.path.join(tmp, "host.log")
        r = vt.run_guest(hex_path, DUMP + ["--host-log", log_path] + args, cwd=cwd)
        with open(log_path, encoding="utf-8") as f:
            log = [line.rstrip("\n").split(" ", 1)[1] for line in f]
    vt.expect_equal("exit", r.exit_code, vt.EXIT_QUIT, r)
    vt.report_checks(r, source, checks)
    return r, log


def expect_log(log, name, r):
    """The host log must read as NAME beside this file."""
    with open(os.path.join(HERE, name), encoding="utf-8") as f:
        vt.expect_equal(name, log, f.read().splitlines(), r)


if guest == "window":
    # The window at boot, fitted and centred to each layer (on the small screen the 400 x 300
    # layer makes the window the screen, at 0,0), orders (4 does nothing) and a Windows-1252 title.
    for screen, size, name in (([], (1920, 1080), "window.log"),
                               (["--screen", "300x200"], (300, 200), "window_300x200.log")):
        r, log = run(screen + ["--dump-window"], 35)
        expect_log(log, name, r)
        vt.expect_equal(name + ": topmost", r.state["window_topmost"], 1, r)
        vt.expect_equal(name + ": screen", (r.state["screen_width"], r.state["screen_height"]),
                        size, r)
    # Bad screens are refused.
    for bad in ("0x10", "10", "40000x10", "10x"):
        r = vt.run_guest(hex_path, ["--screen", bad], dump_state=False)
        vt.expect_equal("--screen " + bad, r.exit_code, vt.EXIT_USAGE, r)

elif guest == "keys":
    # The scripted keys (keys.script, told step by step in keys_guest.c); the injected key and
    # the cursor reach the host.
    r, log = run(["--script", os.path.join(HERE, "keys.script"), "--dump-window"], 102)
    expect_log(log, "keys.log", r)
    vt.expect_equal("cursor count", r.state["cursor_count"], -1, r)
    # Typing and key options: each character a press, Shift where needed.
    for bad in (["--key-down", "0x100@5"], ["--key", "nokey@1"], ["--type", "\u00e9@3"],
                ["--answer", "maybe"], ["--deactivate", "x"], ["--held", ""]):
        r = vt.run_guest(hex_path, bad, dump_state=False)
        vt.expect_equal(" ".join(bad), r.exit_code, vt.EXIT_USAGE, r)

elif guest == "dialogs":
    with tempfile.TemporaryDirectory() as tmp:
        hex_path = shutil.copy(hex_path, tmp)
        answers = [a for answer in ("no", "cancel", "yes", "none", "ok")
                   for a in ("--answer", answer)]
        r, log = run(answers + ["--date", "2024-03-05T14:07:09.250"], 30, cwd=tmp)
        # The boxes with their answers, the beep and the launches, in order.
        expect_log(log, "dialogs.log", r)
        # The programs run on their own: give them a moment.
        wanted = ["launched file.txt", "x;touch", "y", "hidden.txt"]
        deadline = time.time() + 10
        while time.time() < deadline and not all(os.path.exists(os.path.join(tmp, n))
                                                 for n in wanted):
            time.sleep(0.05)
        for name in wanted:
            vt.expect(os.path.exists(os.path.join(tmp, name)), "launched program made " + name, r)
        vt.expect(not os.path.exists(os.path.join(tmp, "x")), "no shell split the line at ';'", r)
else:
    sys.exit("unknown guest " + guest)

vt.finish()
