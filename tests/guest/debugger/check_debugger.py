"""The debugger stub and the program listing, on debuggee.c (built with -g -gdwarf-4 -Og).

usage: check_debugger.py VELMORA_RUN BUILD_DIR GROUP AVR_GDB AVR_OBJDUMP
GROUP: session and changes (avr-gdb), protocol (a bare client), listing (against avr-objdump).
"""

import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time

import velmora_test as vt

runner, args = vt.setup(sys.argv)
build_dir, group, avr_gdb, avr_objdump = args
hex_path = os.path.join(build_dir, "debuggee.hex")
elf_path = os.path.join(build_dir, "debuggee.elf")
source_dir = os.path.dirname(os.path.abspath(__file__))

EXIT_KILLED = 6
HOLD_ADDRESS = 0x180  # debuggee spins while this byte reads 0x5A


def program_copy(directory):
    """The HEX file alone in `directory`: the guest writes debuggee.bin beside it."""
    os.makedirs(directory, exist_ok=True)
    path = os.path.join(directory, "debuggee.hex")
    shutil.copy(hex_path, path)
    return path


class Stub:
    """velmora-run --gdb 0 on a copy of the program; `port` is the one it tells on stderr."""

    def __init__(self, directory, extra=()):
        self.directory = directory
        self.proc = subprocess.Popen(
            vt.runner_command() +
            ["--gdb", "0", "--screenshot", os.path.join(directory, "shot.png")] + list(extra) +
            [program_copy(directory)],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        first = vt.output_text(self.proc.stderr.readline())
        m = re.search(r"waiting for avr-gdb on 127\.0\.0\.1:(\d+)", first)
        if not m:
            self.proc.kill()
            raise RuntimeError("velmora-run did not tell its port: %r" % first)
        self.port = int(m.group(1))
        self.stderr = first

    def finish(self, timeout=30):
        out, err = self.proc.communicate(timeout=timeout)
        self.stderr += vt.output_text(err)
        return self.proc.returncode


def run_gdb(port, commands):
    """avr-gdb in batch mode on debuggee.elf; returns everything it printed."""
    script = ["set pagination off", "set confirm off", "target remote :%d" % port] + commands
    with tempfile.NamedTemporaryFile("w", suffix=".gdb", delete=False) as f:
        f.write("\n".join(script) + "\n")
        name = f.name
    try:
        proc = subprocess.run([avr_gdb, "-nx", "-batch", "-x", name, elf_path],
                              capture_output=True, timeout=90)
    finally:
        os.unlink(name)
    return proc.stdout.decode("latin-1") + proc.stderr.decode("latin-1")


def expect_in(name, text, pattern, context):
    vt.expect(re.search(pattern, text, re.M) is not None,
              "%s: /%s/ not found in:\n%s" % (name, pattern, context))


def listing(path=hex_path):
    r = subprocess.run(vt.runner_command() + ["--disassemble", path], capture_output=True,
                       timeout=60)
    return r.returncode, vt.output_text(r.stdout)


def weigh_break_address(text):
    """Byte address of the BREAK in weigh(), from the listing's service note."""
    in_weigh = False
    for line in text.splitlines():
        if line.endswith("<weigh>:"):
            in_weigh = True
        elif line.endswith(">:"):
            in_weigh = False
        elif in_weigh and line.endswith("; service 9.1  add 32"):
            return int(line.split()[0], 16)
    raise RuntimeError("no service call in weigh() in the listing")


def check_session():
    _, text = listing()
    break_at = weigh_break_address(text)
    with tempfile.TemporaryDirectory() as work:
        plain = vt.run_guest(program_copy(os.path.join(work, "plain")),
                             ["--screenshot", os.path.join(work, "plain", "shot.png")])
        vt.expect_equal("plain run ends on fault 6", plain.state.get("fault"), 6, plain)

        stub = Stub(os.path.join(work, "debugged"))
        out = run_gdb(stub.port, (
            "break weigh; continue; print count; print scale; break *0x%x; continue; x/i $pc; "
            "print/x *(unsigned long *)0x64; monitor services on; stepi; monitor services off; "
            "print $pc; print *(unsigned long *)0x60; delete; watch progress; continue; "
            "continue; delete; finish; rwatch scale; continue; delete; break far_inner; "
            "continue; backtrace; finish; delete; continue; print results; monitor fault; "
            "monitor layers; detach" % break_at).split("; "))
        status = stub.finish()
        context = out + "\n--- velmora-run ---\n" + stub.stderr
        for name, pattern in [
            ("breakpoint on a function", r"^Breakpoint 1, weigh \(count=2\)"),
            ("argument", r"^\$1 = 2$"),
            ("global", r"^\$2 = 30$"),
            ("breakpoint on the BREAK", r"^=> 0x%x <weigh\+\d+>:\s+break" % break_at),
            ("service argument", r"^\$3 = 0x1e$"),
            ("service told", r"^%06X  9\.1  add 32  status \d+$" % (break_at // 2)),
            ("stepped past the BREAK", r"^\$4 = \(void \(\*\)\(\)\) 0x%x <weigh\+" % (break_at + 2)),
            ("service result", r"^\$5 = 30$"),
            ("write watchpoint", r"Old value = 1\nNew value = 2"),
            ("read watchpoint", r"Value = 30\n"),
            ("finish", r"Value returned is \$\d+ = 90$"),
            ("far breakpoint", r"Breakpoint \d+, 0x000301[0-9a-f]{2} in far_inner|"
                               r"Breakpoint \d+, far_inner"),
            ("far backtrace", r"^#1 +0x000301[0-9a-f]{2} in far_outer .*\n#2 .* in main "),
            ("far finish", r"Value returned is \$\d+ = 21$"),
            ("fault signal", r"Program received signal SIGSEGV"),
            ("32-bit globals", r"^\$\d+ = \{90, 180, 300, 478\}$"),
            ("monitor fault", r"^fault 6 \(data read beyond 0xFFFF\) at pc 0x[0-9A-F]{6}"),
            ("monitor layers", r"^layer 0: 240 x 120 \(current\)"),
            ("detach", r"\[Inferior 1 \(Remote target\) detached\]"),
        ]:
            expect_in(name, out, pattern, context)
        vt.expect_equal("status after detaching from a faulted guest", status, vt.EXIT_FAULT)
        debugged = os.path.join(work, "debugged")
        for name in ("shot.png", "debuggee.bin"):
            with open(os.path.join(work, "plain", name), "rb") as a, \
                    open(os.path.join(debugged, name), "rb") as b:
                vt.expect(a.read() == b.read(), "%s differs under the debugger" % name)


def check_changes():
    with tempfile.TemporaryDirectory() as work:
        stub = Stub(work)
        out = run_gdb(stub.port, (
            "break weigh; continue; set var scale = 10; finish; delete; "
            "watch *(unsigned long *)0x60; continue; continue; delete; continue; kill").split("; "))
        status = stub.finish()
        context = out + "\n--- velmora-run ---\n" + stub.stderr
        expect_in("changed variable", out, r"Value returned is \$1 = 30$", context)
        # weigh(3): the argument store writes 0, then the service writes 0 + 10.
        expect_in("store meets the watchpoint", out, r"Old value = 30\nNew value = 0", context)
        expect_in("service meets the watchpoint", out,
                  r"Old value = 0\nNew value = 10\n.*\n15\s+return VM_ARG32\(0\);", context)
        expect_in("kill", out, r"\[Inferior 1 \(Remote target\) killed\]", context)
        vt.expect_equal("status after kill", status, EXIT_KILLED)
        expect_in("end report", stub.stderr, r"ended by the debugger", context)
        with open(os.path.join(work, "debuggee.bin"), "rb") as f:
            data = f.read()
        values = [int.from_bytes(data[i:i + 4], "little") for i in range(0, len(data), 4)]
        vt.expect_equal("results with scale 10", values, [30, 60, 100, 150 + 28])


class Client:
    """A bare debugger client: packets framed and acknowledged by hand."""

    def __init__(self, port):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=10)
        self.buffer = b""

    def read_byte(self):
        while not self.buffer:
            self.buffer = self.sock.recv(4096)
            if not self.buffer:
                raise EOFError("connection closed")
        b, self.buffer = self.buffer[:1], self.buffer[1:]
        return b

    def read_packet(self):
        while self.read_byte() != b"$":
            pass
        payload = b""
        while (b := self.read_byte()) != b"#":
            payload += b
        checksum = self.read_byte() + self.read_byte()
        assert int(checksum, 16) == sum(payload) & 0xFF, "reply with a wrong checksum"
        self.sock.sendall(b"+")
        return payload.decode("latin-1")

    def send(self, payload, checksum=None):
        data = payload.encode("latin-1")
        self.sock.sendall(b"$" + data + b"#" +
                          b"%02x" % (sum(data) & 0xFF if checksum is None else checksum))

    def command(self, payload):
        """The reply to `payload`, after any console output packets."""
        self.send(payload)
        ack = self.read_byte()
        assert ack == b"+", "no acknowledgement for %r: %r" % (payload[:40], ack)
        reply = self.read_packet()
        while reply.startswith("O") and reply != "OK":
            reply = self.read_packet()
        return reply


def check_protocol():
    with tempfile.TemporaryDirectory() as work:
        stub = Stub(work)
        c = Client(stub.port)
        vt.expect("PacketSize=1000" in c.command("qSupported:multiprocess+;swbreak+"),
                  "qSupported announces the packet size")
        # A wrong checksum is refused with '-'; the packet sent again is answered.
        c.send("g", checksum=0)
        vt.expect_equal("wrong checksum", c.read_byte(), b"-")
        registers = c.command("g")
        vt.expect_equal("register bytes", len(registers), 2 * 39)
        vt.expect_equal("SP after reset", registers[66:70], "ffff")
        # A packet longer than the stub keeps: acknowledged, answered with an error.
        vt.expect_equal("oversized packet", c.command("m0," + "0" * 5000), "E01")
        # Program memory ends at 0x41000, the data space at 0x810000: reads across an end get
        # what lies before it, reads beyond get an error, writes to program memory are refused.
        for request, want in [
            ("m40ffe,8", "ffff"), ("m41000,2", "E01"), ("m80fffe,4", None), ("m810000,1", "E01"),
            ("mffffffff,10", "E01"), ("m0,zz", "E01"), ("M0,1:00", "E02"),
            ("M80ffff,2:0000", "E02"), ("p23", "E01"), ("Z0,1,2", "E01"), ("Z0,41000,2", "E01"),
            ("Z2,1000,1", "E01"), ("Z2,80ffff,2", "E01"), ("qRcmd,7a7a", "OK"),
            ("vCont;x", "E01"), ("qNoSuchThing", ""),
        ]:
            reply = c.command(request)
            if want is None:
                vt.expect_equal(request, len(reply), 4)
            else:
                vt.expect_equal(request, reply, want)
        # Ctrl-C stops a running guest with SIGINT; it then steps.
        vt.expect_equal("hold", c.command("M%x,1:5a" % (0x800000 + HOLD_ADDRESS)), "OK")
        c.send("c")
        vt.expect_equal("continue acknowledged", c.read_byte(), b"+")
        time.sleep(0.3)
        c.sock.sendall(b"\x03")
        vt.expect(c.read_packet().startswith("T02"), "Ctrl-C stops the guest with SIGINT")
        vt.expect(c.command("vCont;s:1").startswith("T05"), "a step after Ctrl-C")
        vt.expect_equal("release", c.command("M%x,1:00" % (0x800000 + HOLD_ADDRESS)), "OK")
        # The connection goes in the middle of a packet: the run ends, the host does not crash.
        c.sock.sendall(b"$m0,4")
        c.sock.close()
        status = stub.finish()
        vt.expect_equal("status after a lost connection", status, EXIT_KILLED)
        for pattern in [r"wrong checksum refused", r"longer than 4096 bytes refused",
                        r"connection closed without a detach", r"ended by the debugger"]:
            expect_in("stderr", stub.stderr, pattern, stub.stderr)

        # A client that connects and goes at once, and one that never speaks before the timeout.
        stub = Stub(work, ["--timeout", "1"])
        socket.create_connection(("127.0.0.1", stub.port), timeout=10).close()
        vt.expect_equal("status after an empty connection", stub.finish(), EXIT_KILLED)
        stub = Stub(work, ["--timeout", "0.5"])
        vt.expect_equal("timeout while waiting for the debugger", stub.finish(), vt.EXIT_TIMEOUT)


def check_listing():
    status, text = listing()
    vt.expect_equal("listing status", status, 0)
    vt.expect(text.startswith("; ") and "symbols from" in text.splitlines()[0],
              "the listing names its ELF file:\n" + text[:200])
    objdump = subprocess.run([avr_objdump, "-d", elf_path], capture_output=True,
                             timeout=60).stdout.decode()
    # Every call and jump target, by address, as avr-objdump decodes them.
    want = {}
    for m in re.finditer(r"^\s*([0-9a-f]+):\s+(?:[0-9a-f]{2} ){4}\s*(?:call|jmp)\s+(0x[0-9a-f]+|0)\b",
                         objdump, re.M):
        want[int(m.group(1), 16)] = int(m.group(2), 0)
    got = {}
    for m in re.finditer(r"^([0-9A-F]{6})  [0-9A-F]{4} [0-9A-F]{4}  (?:CALL|JMP) \S+\s+; -> "
                         r"0x([0-9A-F]{6})", text, re.M):
        got[int(m.group(1), 16)] = int(m.group(2), 16)
    vt.expect(len(want) > 40, "avr-objdump found calls and jumps")
    vt.expect_equal("call and jump targets", got, want)
    for name, pattern in [
        ("function label", r"^[0-9A-F]{6} <weigh>:$"),
        ("far function label", r"^030[0-9A-F]{3} <far_inner>:$"),
        ("far call", r"CALL 0x18\w+\s+; -> 0x030[0-9A-F]{3} <far_inner>"),
        ("data symbol", r"STS 0x\w+,r\d+\s+; <progress>"),
        ("arithmetic service", r"BREAK\s+; service 9\.1  add 32$"),
        ("file service", r"BREAK\s+; service 7\.40  file open$"),
        ("drawing service", r"BREAK\s+; service 3\.24  filled rectangle$"),
    ]:
        expect_in(name, text, pattern, text[-3000:])
    with tempfile.TemporaryDirectory() as work:
        alone = program_copy(work)
        _, text = listing(alone)
        vt.expect(text.startswith("; ") and "no symbols" in text.split("\n")[0],
                  "without an ELF file the listing says so")
        with open(os.path.join(work, "debuggee.elf"), "wb") as f:
            f.write(b"\x7fELF\x01\x01" + b"\xff" * 100)
        status, text = listing(alone)
        vt.expect_equal("listing beside a broken ELF file", status, 0)
        vt.expect("no readable ELF file" in text.split("\n")[0], "a broken ELF file is told")


if group in ("session", "changes") and not (avr_gdb and os.path.exists(avr_gdb)):
    sys.stderr.write("avr-gdb not found (package gdb-avr)\n")
    sys.exit(vt.SKIPPED)
{"session": check_session, "changes": check_changes, "protocol": check_protocol,
 "listing": check_listing}[group]()
vt.finish()
