"""Runs the serial guest against a pseudo-terminal: the driver holds the master end, the guest's
COM3 is the slave end."""

import os
import select
import sys
import tty

import velmora_test as vt

RESULTS = 0x4000
MAX_FAILURES = 50

runner, (hex_path, source_path) = vt.setup(sys.argv)
with open(source_path, encoding="utf-8") as f:
    source_lines = f.read().splitlines()

master, slave = os.openpty()
tty.setraw(slave)
os.write(master, b"hello")
env = dict(os.environ, VELMORA_COM3=os.ttyname(slave), VELMORA_COM4="/nonexistent/port")
r = vt.run_guest(hex_path, ["--max-instructions", "50000000", "--dump-memory",
                            "0x%X:%d" % (RESULTS, 4 + 10 * MAX_FAILURES)], env=env)
vt.expect_equal("exit", r.exit_code, vt.EXIT_FAULT, r)
vt.expect(r.word(RESULTS) > 20, "only %d checks ran" % r.word(RESULTS), r)
for n in range(min(r.word(RESULTS + 2), MAX_FAILURES)):
    base = RESULTS + 4 + 10 * n
    line = r.word(base)
    text = source_lines[line - 1].strip() if 0 < line <= len(source_lines) else "?"
    vt.expect(False, "serial_guest.c:%d: %s: got 0x%X, want 0x%X" %
              (line, text, r.dword(base + 2), r.dword(base + 6)))

answer = b""
while len(answer) < 6 and select.select([master], [], [], 2)[0]:
    answer += os.read(master, 64)
vt.expect_equal("answer", answer, b"HELLO!")
os.close(master)
os.close(slave)
vt.finish()
