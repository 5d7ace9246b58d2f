"""Runs the serial guest against a pseudo-terminal: the driver holds the master end, the guest's
COM3 is the slave end."""

import os
import select
import sys
import tty

import velmora_test as vt

runner, (hex_path, source_path) = vt.setup(sys.argv)
master, slave = os.openpty()
tty.setraw(slave)
os.write(master, b"he\0\xff\r\n\x03\x7f")
env = dict(os.environ, VELMORA_COM3=os.ttyname(slave), VELMORA_COM4="/nonexistent/port")
r = vt.run_halting(hex_path, ["--max-instructions", "50000000"] + vt.CHECKS_DUMP, env=env)
vt.report_checks(r, source_path, 27)
answer = b""
while len(answer) < 9 and select.select([master], [], [], 2)[0]:
    answer += os.read(master, 64)
vt.expect_equal("answer", answer, b"\x7f\x03\n\r\xff\0eh!")
vt.finish()
