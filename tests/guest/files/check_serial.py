"""Runs the serial guest against a pseudo-terminal: the driver holds the master end, the guest's
COM3 is the slave end."""

import os
import select
import sys
import termios
import tty

import velmora_test as vt

runner, (hex_path, source_path) = vt.setup(sys.argv)
master, slave = os.openpty()
tty.setraw(slave)
# Settings the guest changes (it asks for 9600 baud), which the port must have again after it.
mode = termios.tcgetattr(slave)
mode[4] = mode[5] = termios.B1200
mode[6][termios.VMIN] = 7
termios.tcsetattr(slave, termios.TCSANOW, mode)
before = termios.tcgetattr(slave)
os.write(master, b"he\0\xff\r\n\x03\x7f")
env = dict(os.environ, VELMORA_COM3=os.ttyname(slave), VELMORA_COM4="/nonexistent/port")
r = vt.run_halting(hex_path, ["--max-instructions", "50000000"] + vt.CHECKS_DUMP, env=env)
vt.report_checks(r, source_path, 27)
answer = b""
while len(answer) < 9 and select.select([master], [], [], 2)[0]:
    answer += os.read(master, 64)
vt.expect_equal("answer", answer, b"\x7f\x03\n\r\xff\0eh!")
vt.expect_equal("port settings after the run", termios.tcgetattr(slave), before)
os.close(master)
os.close(slave)
vt.finish()
