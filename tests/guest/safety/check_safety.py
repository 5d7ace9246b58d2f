"""Untrusted guests: the sandbox and files that stay whole however a run ends.

check_safety.py VELMORA_RUN BUILD_DIR GROUP, GROUP one of
  paths  every path form of PATH_FORMS tried by the probe in a sandbox, resolved by the kernel
         and by the walk; the path services and the ports inside a sandbox
  race   a folder swapped for a link out of the sandbox while the guest works in it
  quota  --sandbox-quota and VELMORA_SANDBOX_QUOTA end writes as a full disk would
  exits  a guest writing records is ended every way a run can end; the file holds whole records
         up to the last write service that completed
"""

import os
import shutil
import signal
import subprocess
import sys
import tempfile
import termios
import threading
import time

import velmora_test as vt

runner, (build, group) = vt.setup(sys.argv)
tmp = tempfile.mkdtemp(prefix="velmora_safety_")


def program(name):
    return os.path.join(build, name + ".hex")


def resolver_env(method, **extra):
    env = dict(os.environ)
    env.pop("VELMORA_SANDBOX", None)
    env.pop("VELMORA_SANDBOX_QUOTA", None)
    env.update(extra)
    if method:
        env["VELMORA_SANDBOX_RESOLVE"] = method
    return env


# Statuses of exists, open, create, make directory, change directory, rename onto, rename away,
# delete and remove directory.
REFUSED = (0, 1, 1, 9, 14, 4, 4, 3, 3)
LINK = (1, 1, 1, 9, 14, 4, 0, 0, 3)  # the link itself lies inside; where it leads is refused
# The Windows build under wine meets the links as POSIX links, which wine follows wherever it opens
# a name: a link that leads out cannot be renamed or deleted either (the open reaches outside and
# is refused), and a looping link is no name to wine at all, so a rename onto it replaces it.
WINE_LINK = (1, 1, 1, 9, 14, 4, 4, 3, 3)
WINE_LOOP = (0, 1, 1, 9, 14, 0, 4, 3, 3)
# The kernel's resolver and, where it is missing, the walk; Windows has one way.
RESOLVERS = ("",) if vt.WINDOWS else ("", "walk")


def expected_statuses(path, statuses):
    if not vt.WINDOWS or statuses != LINK:
        return statuses
    return WINE_LOOP if path == b"\\loop_a" else WINE_LINK
FILE = (1, 0, 0, 9, 14, 4, 0, 0, 3)  # an existing file inside
NEW_FILE = (0, 1, 0, 9, 14, 4, 0, 0, 3)  # a file the create makes inside

# The probe starts in \bin of the sandbox. (path, statuses, what an open reads) Refused: ways up
# and out, other drives and hosts, device names, streams, bad characters, host paths (an absolute
# host path lands inside, where nothing is) and a name beneath a link that leads out.
PATH_FORMS = [(path, REFUSED, b"") for path in [
    b"..\\..\\outside.txt", b"../../outside.txt", b"..\\sub\\..\\..\\..\\outside.txt",
    b"\\bin\\..\\..\\outside.txt", b"..\\..\\..\\..\\..\\..\\..\\..\\etc\\passwd",
    b"\\..\\outside.txt", b"C:\\..\\outside.txt", b"C:outside.txt", b"\\\\?\\C:\\outside.txt",
    b"\\\\.\\COM1", b"//server/share/outside.txt", b"\\/..\\outside.txt", b".. \\..\\outside.txt",
    b"..\\...\\outside.txt", b"NUL", b"nul.txt", b"CON", b"\\sub\\com1.log", b"Aux .txt",
    b"CONOUT$", b"COM\xb9", b"name.txt:stream", b"a\x01b.txt", b"bad|name", b"",
    b"/proc/self/mem", b"\\proc_self\\mem", b"\\dirlink_out\\new.txt"]] + [
    (path, LINK, b"") for path in [b"\\link_out", b"\\link_abs", b"\\sub\\link_up", b"\\dirlink_out",
                                   b"\\loop_a"]] + [
    # Inside: ".." is taken by the name ("dirlink_out\.." is the root), trailing dots and spaces
    # do not count, links that stay inside are followed.
    (b"\\dirlink_out\\..\\outside.txt", NEW_FILE, b""),
    (b"\\inside.txt", FILE, b"inside"),
    (b"..\\inside3.txt. .", FILE, b"inside3"),
    (b"..\\link_in", FILE, b"deep"),
    (b"\\dirlink_in\\deep2.txt", FILE, b"deep2"),
    (b"\\sub\\link_up_in", FILE, b"inside2"),
    (b"C:\\sub\\..\\bin\\..\\inside4.txt", FILE, b"inside4"),
    (b"\\sub", (1, 1, 1, 9, 0, 4, 0, 3, 3), b""),
    (b"\\", (1, 1, 1, 9, 0, 4, 4, 3, 3), b""),
]


def write(path, content):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(content)


def outside_world(base):
    """Everything outside the sandbox: names and contents."""
    seen, box = {}, os.path.join(base, "box")
    for root, dirs, files in os.walk(base):
        for path in (os.path.join(root, name) for name in dirs + files):
            if not path.startswith(box):
                regular = os.path.isfile(path) and not os.path.islink(path)
                seen[os.path.relpath(path, base)] = open(path, "rb").read() if regular else b""
    return seen


def make_sandbox(base):
    box = os.path.join(base, "box")
    write(os.path.join(base, "outside.txt"), b"SECRET outside\n")
    os.makedirs(os.path.join(base, "outside_dir"))
    for name, content in [("inside.txt", b"inside\n"), ("inside2.txt", b"inside2\n"),
                          ("inside3.txt", b"inside3\n"), ("inside4.txt", b"inside4\n"),
                          ("sub/deep.txt", b"deep\n"), ("sub/deep2.txt", b"deep2\n")]:
        write(os.path.join(box, name), content)
    os.makedirs(os.path.join(box, "bin"))
    links = [("link_out", "../outside.txt"), ("link_abs", os.path.join(base, "outside.txt")),
             ("dirlink_out", "../outside_dir"), ("link_in", "sub/deep.txt"),
             ("dirlink_in", "sub"), ("sub/link_up", "../../outside.txt"),
             ("sub/link_up_in", "../inside2.txt"), ("proc_self", "/proc/self"),
             ("loop_a", "loop_b"), ("loop_b", "loop_a")]
    for name, target in links:
        os.symlink(target, os.path.join(box, name))
    return box


def check_paths():
    master, slave = os.openpty()
    before_port = termios.tcgetattr(slave)
    for method in RESOLVERS:
        label = "walk: " if method else "kernel: "
        base = os.path.realpath(os.path.join(tmp, "paths" + method))
        os.makedirs(base)
        box = make_sandbox(base)
        world = outside_world(base)
        bin_dir = os.path.join(box, "bin")
        shutil.copy(program("safety_probe"), bin_dir)
        write(os.path.join(bin_dir, "paths.txt"), b"".join(p + b"\n" for p, _, _ in PATH_FORMS))
        write(os.path.join(box, "command.txt"),
              ("%s %s\n" % (shutil.which("touch"), os.path.join(base, "launched"))).encode())
        env = resolver_env(method, VELMORA_COM1=os.ttyname(slave), VELMORA_COM2="loopback")
        r = vt.run_guest(os.path.join(bin_dir, "safety_probe.hex"),
                         ["--sandbox", box, "--max-instructions", "50000000"], cwd=base, env=env)
        vt.expect_equal(label + "exit", r.exit_code, vt.EXIT_FAULT, r)
        with open(os.path.join(bin_dir, "results.txt"), "rb") as f:
            lines = f.read().split(b"\r\n")
        facts = dict(line.split(b"=", 1) for line in lines[:11] if b"=" in line)
        want = {b"cwd": b"\\bin 0", b"temp": b"\\ 0", b"program": b"\\bin\\safety_probe.hex 0",
                b"programdir": b"\\bin 0", b"exedir": b" 0", b"any_txt": b" 1",
                b"open1": b" 1", b"present1": b" 0", b"open2": b" 0", b"loop2": b"ab 0",
                b"launch": b" 6"}  # access denied
        for key, value in want.items():
            vt.expect_equal(label + key.decode(), facts.get(key), value, r)
        results = lines[11:11 + len(PATH_FORMS)]
        vt.expect_equal(label + "paths tried", len(results), len(PATH_FORMS), r)
        for (path, statuses, content), line in zip(PATH_FORMS, results):
            parts = line.split(b"|")
            got = tuple(int(s) for s in parts[-2].split()) if len(parts) >= 3 else None
            vt.expect_equal(label + repr(path), (got, parts[-1] if parts else b""),
                            (expected_statuses(path, statuses), content))
        vt.expect(b"SECRET" not in b"".join(lines), label + "nothing outside was read")
        vt.expect_equal(label + "outside the sandbox", outside_world(base), world)
    vt.expect_equal("the port nobody may open kept its settings", termios.tcgetattr(slave),
                    before_port)
    os.close(master)
    os.close(slave)


def check_race():
    if vt.WINDOWS:
        # Windows resolves a name relative to a folder's handle, which a swap cannot redirect;
        # wine resolves every name from its path anew, so a folder that a Linux program swaps
        # between two steps is beyond what a Windows program can guard against under wine.
        print("skipped: under wine, names are resolved from paths, not from folder handles")
        sys.exit(vt.SKIPPED)
    for method in RESOLVERS:
        base = os.path.realpath(os.path.join(tmp, "race" + method))
        box = os.path.join(base, "box")
        os.makedirs(os.path.join(base, "outside_dir"))
        os.makedirs(os.path.join(box, "swap"))
        shutil.copy(program("safety_race"), box)
        swap, parked = os.path.join(box, "swap"), os.path.join(box, "parked")
        stop = threading.Event()
        swaps = [0]

        def swapper():
            while not stop.is_set():
                os.rename(swap, parked)
                os.symlink("../outside_dir", swap)
                os.unlink(swap)
                os.rename(parked, swap)
                swaps[0] += 1

        thread = threading.Thread(target=swapper)
        thread.start()
        try:
            r = vt.run_guest(os.path.join(box, "safety_race.hex"),
                             ["--sandbox", box, "--dump-memory", "0x4000:6"],
                             env=resolver_env(method))
        finally:
            stop.set()
            thread.join()
        label = "walk: " if method else "kernel: "
        vt.expect_equal(label + "exit", r.exit_code, vt.EXIT_FAULT, r)
        vt.expect_equal(label + "rounds", r.word(0x4000), 4000, r)
        vt.expect(swaps[0] > 100, label + "the folder was swapped while the guest ran")
        vt.expect_equal(label + "nothing made outside", os.listdir(os.path.join(base, "outside_dir")),
                        [])


def check_quota():
    # 31 records of 32 bytes fit 1000 bytes; the 32nd writes the 8 bytes left and fails.
    for how in ("option", "environment"):
        box = os.path.join(tmp, "quota-" + how)
        os.makedirs(box)
        shutil.copy(program("safety_writer"), box)
        write(os.path.join(box, "mode.txt"), b"q")
        args, env = ["--dump-memory", "0x4000:7"], resolver_env("")
        if how == "option":
            args += ["--sandbox", box, "--sandbox-quota", "1000"]
        else:
            env.update(VELMORA_SANDBOX=box, VELMORA_SANDBOX_QUOTA="0x3E8")
        r = vt.run_guest(os.path.join(box, "safety_writer.hex"), args, env=env)
        vt.expect_equal(how + ": exit", r.exit_code, vt.EXIT_FAULT, r)
        vt.expect_equal(how + ": records", r.dword(0x4000), 31, r)
        vt.expect_equal(how + ": statuses (full, overwrite, another file)",
                        r.memory(0x4004, 3), bytes([8, 0, 8]), r)
        vt.expect_equal(how + ": file size", os.path.getsize(os.path.join(box, "records.bin")),
                        1000)
        vt.expect_equal(how + ": another file", os.path.getsize(os.path.join(box, "more.bin")), 0)

    # A guest that was to be confined never runs unconfined.
    home = os.path.join(tmp, "no-sandbox")
    os.makedirs(home)
    shutil.copy(program("safety_writer"), home)
    env = resolver_env("", VELMORA_SANDBOX=os.path.join(tmp, "missing"))
    r = vt.run_guest(os.path.join(home, "safety_writer.hex"), [], env=env)
    vt.expect_equal("missing sandbox: exit", r.exit_code, vt.EXIT_LOAD_FAILED, r)
    vt.expect(not os.path.exists(os.path.join(home, "records.bin")), "missing sandbox: nothing ran")


def check_records(name, path, count, r):
    with open(path, "rb") as f:
        data = f.read()
    whole = len(data) // 32
    vt.expect_equal(name + ": whole records", len(data) % 32, 0, r)
    vt.expect(whole in (count, count + 1),
              "%s: %d records in the file, %d writes completed" % (name, whole, count), r)
    expected = b"".join(b"R%08d" % i + b"." * 21 + b"\r\n" for i in range(whole))
    vt.expect(data[:whole * 32] == expected, name + ": records in order and intact", r)


def check_exits():
    # A run ended from outside at any moment: by a signal, or by a limit.
    cases = [("SIGTERM", "f", signal.SIGTERM, [], 128 + signal.SIGTERM),
             ("SIGINT", "f", signal.SIGINT, [], 128 + signal.SIGINT),
             ("SIGHUP", "f", signal.SIGHUP, [], 128 + signal.SIGHUP),
             ("close request", "f", None, ["--close", "150"], vt.EXIT_QUIT),
             ("limit", "f", None, ["--max-instructions", "123457"], vt.EXIT_LIMIT),
             ("timeout", "f", None, ["--timeout", "0.3"], vt.EXIT_TIMEOUT),
             ("program end", "x", None, [], vt.EXIT_QUIT),
             ("fault", "h", None, [], vt.EXIT_FAULT)]
    for name, mode, sig, args, status in cases:
        # Windows asks a console program to end with Ctrl-C (wine hands SIGINT on as one) and
        # knows neither SIGTERM nor SIGHUP.
        if vt.WINDOWS and sig not in (None, signal.SIGINT):
            continue
        home = os.path.join(tmp, "exit-" + name.replace(" ", "-"))
        os.makedirs(home)
        shutil.copy(program("safety_writer"), home)
        write(os.path.join(home, "mode.txt"), mode.encode())
        records = os.path.join(home, "records.bin")
        full = args + ["--dump-state", "--dump-memory", "0x4000:4",
                       os.path.join(home, "safety_writer.hex")]
        proc = subprocess.Popen(vt.runner_command() + full, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE)
        try:
            if sig is not None:
                # Mid-write: once the guest has written a good many records.
                deadline = time.time() + 30
                while time.time() < deadline and (not os.path.exists(records) or
                                                  os.path.getsize(records) < 64 * 1024):
                    time.sleep(0.01)
                proc.send_signal(sig)
            out, err = proc.communicate(timeout=60)
        finally:
            if proc.poll() is None:
                proc.kill()
                proc.wait()
        r = vt.GuestResult(full, proc.returncode, vt.output_text(out), vt.output_text(err))
        vt.expect_equal(name + ": exit", r.exit_code, status, r)
        count = r.dword(0x4000)
        if mode != "f":
            vt.expect_equal(name + ": records written", count, 200, r)
        vt.expect(count > 0, name + ": records written", r)
        check_records(name, records, count, r)


GROUPS = {"paths": check_paths, "race": check_race, "quota": check_quota, "exits": check_exits}
try:
    GROUPS[group]()
finally:
    shutil.rmtree(tmp, ignore_errors=True)
vt.finish()
