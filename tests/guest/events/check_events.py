"""Runs the event-loop guest under scripted input and checks the log it keeps in RAM; runs the
gate and arithmetic guest, which checks itself.

usage: check_events.py VELMORA_RUN BINARY_DIR GROUP
"""

import os
import struct
import sys
import tempfile

import velmora_test as vt

HERE = os.path.dirname(os.path.abspath(__file__))
runner, rest = vt.setup(sys.argv)
binary_dir, group = rest

LOG = 0x2000
ENTRIES = 0x2010
START_TIME = 0x2300
DUMP = ["--dump-memory", "0x2000:0x210", "--dump-memory", "0x2300:10", "--quiet"]

CLOSE, DOWN, UP, TIMER0, TIMER1 = 0, 1, 2, 5, 6

# A click at 30 ms (down and up at consecutive pumps), a move at 40 ms (its event is never
# enabled), a close request at 100 ms.
INPUT = ["--click", "10,20@30", "--mouse-move", "7,8@40", "--close", "100"]


# Type, x, y and handling time of every event the guest sees on the virtual clock (one ms per
# WDR). Both timers fire at the first WDR, where the I flag is clear, so they are handled at the
# second; afterwards timer 0 fires every 10 ms and timer 1 every 25 ms from their firing.
EXPECTED_LOG = [(TIMER0, 0, 0, 2), (TIMER1, 0, 0, 2), (TIMER0, 0, 0, 11), (TIMER0, 0, 0, 21),
                (TIMER1, 0, 0, 26), (DOWN, 10, 20, 30), (UP, 10, 20, 31), (TIMER0, 0, 0, 31),
                (TIMER0, 0, 0, 41), (TIMER0, 0, 0, 51), (TIMER1, 0, 0, 51), (TIMER0, 0, 0, 61),
                (TIMER0, 0, 0, 71), (TIMER1, 0, 0, 76), (TIMER0, 0, 0, 81), (TIMER0, 0, 0, 91),
                (CLOSE, 0, 0, 100)]


def log_entries(r):
    return [struct.unpack("<HhhH", r.memory(ENTRIES + 8 * i, 8)) for i in range(r.word(LOG))]


def check_run(hex_name, args, label):
    r = vt.run_guest(os.path.join(binary_dir, hex_name), DUMP + args)
    if not vt.expect_equal(label + ": exit", r.exit_code, vt.EXIT_QUIT, r):
        return r
    vt.expect_equal(label + ": pending byte with I clear", r.byte(LOG + 2), 0, r)
    vt.expect_equal(label + ": events waiting then", r.byte(LOG + 3), 2, r)
    vt.expect_equal(label + ": service results", r.memory(LOG + 4, 4), bytes([1, 2, 1, 0]), r)
    vt.expect_equal(label + ": log", log_entries(r), EXPECTED_LOG, r)
    return r


if group == "keep_open":
    # The close handler ends the program with vm_exit().
    r = check_run("events_loop.hex", INPUT, "keep open")
    vt.expect_equal("start tick", r.dword(LOG + 8), 1000000, r)
elif group == "closing":
    # The close request destroys the window; the event is still fetched before the quit message.
    check_run("events_loop_closing.hex", INPUT, "closing")
elif group == "script":
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "input.txt")
        with open(path, "w") as f:
            f.write("# the same input as the options give\n\nclose@100\n  move 7,8 @ 40\n"
                    "click 10,20@30\n")
        check_run("events_loop.hex", ["--script", path], "script")
elif group == "clock":
    # Across the 32-bit wrap of the tick count the timers keep their periods; the date is given.
    r = check_run("events_loop.hex", INPUT + ["--clock-start", "4294967290", "--date",
                                              "2024-03-05T14:07:09.250"], "wrap")
    vt.expect_equal("start tick", r.dword(LOG + 8), 4294967290, r)
    vt.expect_equal("time record", r.memory(START_TIME, 10),
                    bytes([0xE8, 0x07, 0x03, 0x05, 0x02, 0x0E, 0x07, 0x09, 0xFA, 0x00]), r)
elif group == "real_clock":
    # Real time: only order can be checked, never durations (a loaded machine stretches them).
    r = vt.run_guest(os.path.join(binary_dir, "events_loop.hex"),
                     DUMP + ["--clock", "real", "--click", "3,4@20", "--close", "60",
                             "--timeout", "20"])
    vt.expect_equal("exit", r.exit_code, vt.EXIT_QUIT, r)
    entries = log_entries(r)
    # Only timer events fetched in the same batch may follow the close.
    inputs = [e[:3] for e in entries if e[0] < TIMER0]
    vt.expect_equal("input order", inputs, [(DOWN, 3, 4), (UP, 3, 4), (CLOSE, 0, 0)], r)
    types = [e[0] for e in entries]
    after_close = types[types.index(CLOSE) + 1:] if CLOSE in types else []
    vt.expect(all(t >= TIMER0 for t in after_close), "the close comes last", r)
    times = [e[3] for e in entries]
    vt.expect(times == sorted(times), "times ascend", r)
    vt.expect(r.dword(LOG + 8) != 1000000, "the tick count is the real one", r)
    vt.expect(any(e[0] == TIMER0 for e in entries), "timer 0 fired", r)
elif group == "options":
    hex_path = os.path.join(binary_dir, "events_loop.hex")
    bad_dates = ["2023-02-29T00:00:00", "2024-13-01T00:00:00", "2024-03-05T24:00:00",
                 "2024-03-05T14:07", "2024-03-05T14:07:09.2500", "1969-12-31T23:59:59"]
    bad_inputs = ["1@2", "10,20@-1", "40000,1@0", "1,2@4294967296"]
    with tempfile.TemporaryDirectory() as tmp:
        script = os.path.join(tmp, "bad.txt")
        with open(script, "w") as f:
            f.write("click 1,2@10\nclick one,two\n")
        for bad in ([["--date", d] for d in bad_dates] + [["--click", i] for i in bad_inputs] +
                    [["--close", "-1"], ["--clock", "fast"], ["--clock-start", "4294967296"],
                     ["--script", "/nonexistent/input.txt"], ["--script", tmp], ["--click"]]):
            r = vt.run_guest(hex_path, bad, dump_state=False)
            vt.expect_equal(" ".join(bad), r.exit_code, vt.EXIT_USAGE, r)
        r = vt.run_guest(hex_path, ["--script", script], dump_state=False)
        vt.expect(r.exit_code == vt.EXIT_USAGE and ":2:" in r.stderr, "script line 2 named", r)
        # Script lines one by one: refused ones stop velmora-run, the others load.
        for line, status in [("close 1,2@3", vt.EXIT_USAGE), ("clicks 1,2", vt.EXIT_USAGE),
                             ("keydown 256@1", vt.EXIT_USAGE), ("keydown f25@1", vt.EXIT_USAGE),
                             ("keydownx@1", vt.EXIT_USAGE), ("activate 1,2@7", vt.EXIT_USAGE),
                             ("keydown f24 @ 9", vt.EXIT_LIMIT), ("keyup Enter", vt.EXIT_LIMIT),
                             ("down\t5,\t6\t@7", vt.EXIT_LIMIT), ("deactivate@7", vt.EXIT_LIMIT),
                             ("move 32767,-32768@4294967295", vt.EXIT_LIMIT)]:
            with open(script, "w") as f:
                f.write(line + "\n")
            r = vt.run_guest(hex_path, ["--script", script, "--max-instructions", "20000"],
                             dump_state=False)
            vt.expect_equal("script line %r" % line, r.exit_code, status, r)
    # Valid dates give their weekday: a Thursday, a Saturday, a Thursday on 29 February.
    for date, weekday in (("1970-01-01T00:00:00", 4), ("2000-01-01T23:59:59.999", 6),
                          ("2024-02-29 00:00:00", 4)):
        r = vt.run_guest(hex_path, DUMP + INPUT + ["--date", date])
        vt.expect_equal("weekday of " + date, r.byte(START_TIME + 4), weekday, r)
    # Without a close request the guest runs until the instruction limit.
    r = vt.run_guest(hex_path, ["--max-instructions", "20000", "--quiet"])
    vt.expect_equal("no close", r.exit_code, vt.EXIT_LIMIT, r)
elif group == "edges":
    r = vt.run_guest(os.path.join(binary_dir, "events_edges.hex"),
                     ["--quiet", "--date", "2024-03-05T14:07:09.250", "--click", "10,20@3000",
                      "--double-click", "7,8@3500", "--mouse-move", "-1,2@3600",
                      "--click", "5,5@4050", "--close", "4000", "--close", "4100", "--close",
                      "4200"] + vt.CHECKS_DUMP)
    vt.expect_equal("exit", r.exit_code, vt.EXIT_QUIT, r)
    vt.report_checks(r, os.path.join(HERE, "event_edges.c"), 3126)
elif group == "deadline":
    # A delay loop that never pumps still ends on the virtual clock: the first clock read after a
    # pump or sleep is free, every further one costs a microsecond. After the free start read,
    # setting the deadline and 99999 polls make the 100 ms.
    r = vt.run_guest(os.path.join(binary_dir, "events_deadline.hex"),
                     ["--dump-memory", "0x2000:16", "--quiet", "--max-instructions", "50000000"])
    vt.expect_equal("exit", r.exit_code, vt.EXIT_QUIT, r)
    vt.expect_equal("answers", r.memory(0x2004, 2), b"\1\2", r)
    vt.expect_equal("polls", r.dword(0x2000), 99999, r)
    vt.expect_equal("ticks waited", r.dword(0x200C) - r.dword(0x2008), 100, r)
else:
    sys.exit("unknown group " + group)

vt.finish()
