"""Runs the serial guest against a pseudo-terminal: the driver holds the master end, the guest's
COM3 is the slave end. velmora-run finds it through VELMORA_COM3; the Windows build under wine
through the prefix's dosdevices\\com3 link, which the driver makes for the run. Then a guest that
writes to a port nobody reads must still end on Ctrl-C."""

import os
import select
import signal
import subprocess
import sys
import termios
import time
import tty

import velmora_test as vt

runner, (hex_path, source_path, flood_path) = vt.setup(sys.argv)
if os.name == "nt":
    print("skipped: pseudo-terminals are POSIX; on Windows itself a real COM3 would be needed")
    sys.exit(vt.SKIPPED)
devices = None
if vt.WINDOWS:
    prefix = os.environ.get("WINEPREFIX", os.path.expanduser("~/.wine"))
    devices = os.path.join(prefix, "dosdevices")
    if not os.path.isdir(devices):
        print("skipped: no wine prefix at %s to offer a port in (set WINEPREFIX)" % prefix)
        sys.exit(vt.SKIPPED)


def terminal():
    master, slave = os.openpty()
    tty.setraw(slave)
    return master, slave


def offer_ports(com3):
    """COM3 is the pseudo-terminal `com3`, COM4 a device that does not exist. Returns the
    environment for the run and the links to remove after it."""
    ports = {"com3": os.ttyname(com3), "com4": "/nonexistent/port"}
    links = []
    for name, target in ports.items() if devices else ():
        link = os.path.join(devices, name)
        if os.path.lexists(link):
            os.remove(link)
        os.symlink(target, link)
        links.append(link)
    return dict(os.environ, VELMORA_COM3=ports["com3"], VELMORA_COM4=ports["com4"]), links


master, slave = terminal()
# Settings the guest changes (it asks for 9600 baud), which the port must have again after it.
mode = termios.tcgetattr(slave)
mode[4] = mode[5] = termios.B1200
mode[6][termios.VMIN] = 7
termios.tcsetattr(slave, termios.TCSANOW, mode)
before = termios.tcgetattr(slave)
os.write(master, b"he\0\xff\r\n\x03\x7f")
env, links = offer_ports(slave)
try:
    r = vt.run_halting(hex_path, ["--max-instructions", "50000000"] + vt.CHECKS_DUMP, env=env)
finally:
    for link in links:
        os.remove(link)
vt.report_checks(r, source_path, 23)
answer = b""
while len(answer) < 9 and select.select([master], [], [], 2)[0]:
    answer += os.read(master, 64)
vt.expect_equal("answer", answer, b"\x7f\x03\n\r\xff\0eh!")
# The terminal's own settings are POSIX's; a Windows program sets a port's state (its DCB) anew
# at every open and leaves it.
if not vt.WINDOWS:
    vt.expect_equal("port settings after the run", termios.tcgetattr(slave), before)
os.close(master)
os.close(slave)

# Writes have no timeout, but Ctrl-C ends a write that waits for a reader who never comes.
master, slave = terminal()
env, links = offer_ports(slave)
try:
    proc = subprocess.Popen(vt.runner_command() + ["--quiet", flood_path], env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    # The first block fills the terminal and waits.
    got = b""
    while len(got) < 1000 and select.select([master], [], [], 20)[0]:
        got += os.read(master, 65536)
    time.sleep(0.5)
    proc.send_signal(signal.SIGINT)
    try:
        status = proc.wait(timeout=20)
    except subprocess.TimeoutExpired:
        proc.kill()
        status = "still waiting"
    vt.expect_equal("a waiting write ended by Ctrl-C", status, 128 + signal.SIGINT)
finally:
    for link in links:
        os.remove(link)
os.close(master)
os.close(slave)
vt.finish()
