#!/usr/bin/env python3
"""Velmora's three engines, simavr and QEMU side by side on the same AVR programs (run by
bench/peers.sh, which builds everything first).

Every machine runs each workload as a program, interleaved (a round runs every workload on every
machine before the next round starts), several rounds; the shortest wall time of a machine's
process, less the shortest of the same machine on a program that ends at once, gives its guest
MIPS. Wall time, and the shortest of the rounds, because the machines share the host with
whatever else runs: the least disturbed round is the best estimate of each machine's own speed
(CPU time would be better where the host counts it correctly: virtual machines often do not,
and QEMU's thread is not always counted). The instruction count is Velmora's (the machines run the same image); every machine must
show the same checksum:
  Velmora     --dump-state: r25..r22
  simavr      the hex line the workload prints on USART0
  QEMU        the register dump of -d unimp at the undefined word that ends the workload
QEMU 7.2 stops (it crashes in its debug stop) right after that dump; should a later QEMU pause
instead, the dump is enough and the process is killed.
"""

import argparse
import math
import os
import re
import select
import subprocess
import sys
import time

WORKLOADS = ["crc32", "sieve", "sort", "matmul", "interp"]
ENGINES = ["jit", "fast", "reference"]
MACHINES = ENGINES + ["simavr", "qemu"]


def run(cmd, stop_after=None, timeout=300):
    """Runs cmd; returns (wall seconds, stdout, stderr). stop_after: a pattern on stderr that
    ends the timing; the process is killed if it has not ended a second after it."""
    start = time.perf_counter()
    p = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    out, err = b"", b""
    streams = {p.stdout.fileno(): "out", p.stderr.fileno(): "err"}
    deadline = start + timeout
    seen_at = None
    while streams:
        now = time.perf_counter()
        if now > deadline or (seen_at is not None and now > seen_at + 1.0):
            p.kill()
            break
        ready, _, _ = select.select(list(streams), [], [], 0.1)
        for fd in ready:
            chunk = os.read(fd, 65536)
            if not chunk:
                del streams[fd]
            elif streams[fd] == "out":
                out += chunk
            else:
                err += chunk
        if stop_after and seen_at is None and re.search(stop_after, err.decode("latin-1")):
            seen_at = time.perf_counter()
    p.wait()
    end = seen_at if seen_at is not None else time.perf_counter()
    return end - start, out.decode("latin-1"), err.decode("latin-1")


def velmora_cmd(args, engine, hex_path, extra=()):
    return [args.velmora, "--quiet", "--dump-state", "--engine", engine, *extra, hex_path]


def velmora_state(out):
    state = {}
    for line in out.splitlines():
        m = re.match(r"^([a-z0-9]+) (0x[0-9A-Fa-f]+|\d+)$", line.strip())
        if m:
            state[m.group(1)] = int(m.group(2), 0)
    return state


def run_machine(args, machine, name):
    """One run of workload `name` on `machine`: (seconds, checksum or None, instructions)."""
    path = os.path.join(args.dir, name)
    if machine in ENGINES:
        seconds, out, _ = run(velmora_cmd(args, machine, path + ".hex"))
        s = velmora_state(out)
        if "r22" not in s:
            return seconds, None, None
        checksum = s["r22"] | s["r23"] << 8 | s["r24"] << 16 | s["r25"] << 24
        return seconds, checksum, s.get("instructions")
    if machine == "simavr":
        # simavr shows what the program writes to the USART on stderr.
        seconds, out, err = run(["simavr", "-m", "atmega2560", path + ".elf"])
        m = re.search(r"([0-9a-f]{8})\.", out + err)
        return seconds, int(m.group(1), 16) if m else None, None
    seconds, _, err = run(["qemu-system-avr", "-machine", "mega2560", "-bios", path + ".elf",
                          "-display", "none", "-serial", "null", "-monitor", "none",
                          "-d", "unimp"], stop_after=r"R\[31\]")
    regs = dict((int(a), int(b, 16)) for a, b in re.findall(r"R\[(\d+)\]:\s+([0-9a-f]{2})", err))
    if not all(r in regs for r in (22, 23, 24, 25)):
        return seconds, None, None
    return seconds, regs[22] | regs[23] << 8 | regs[24] << 16 | regs[25] << 24, None


def check_images(args):
    """The peers' known faults that a program must not meet: QEMU 7.2 runs a RET that a skip
    passes over, simavr 1.6 skips two words over ADIW/SBIW with a constant of 0x?C to 0x?F."""
    failures = []
    for name in ["null"] + args.workloads:
        text = subprocess.run(["avr-objdump", "-d", os.path.join(args.dir, name + ".elf")],
                              capture_output=True, text=True).stdout
        code = [line.split("\t") for line in text.splitlines() if line.count("\t") >= 2]
        for here, after in zip(code, code[1:]):
            if here[2].strip() not in ("sbrc", "sbrs", "sbic", "sbis", "cpse"):
                continue
            mnemonic = after[2].strip()
            operand = after[3] if len(after) > 3 else ""
            if mnemonic in ("ret", "reti"):
                failures.append("%s: a skip over %s at %s (QEMU runs it)" % (name, mnemonic,
                                                                            after[0].strip()))
            m = re.search(r"0x([0-9A-Fa-f]+)", operand)
            if mnemonic in ("adiw", "sbiw") and m and int(m.group(1), 16) & 0x0F >= 0x0C:
                failures.append("%s: a skip over %s at %s (simavr skips two words)"
                                % (name, mnemonic, after[0].strip()))
    return failures


def geomean(values):
    values = [v for v in values if v > 0]
    return math.exp(sum(math.log(v) for v in values) / len(values)) if values else 0.0


def peers(args):
    machines = [m for m in MACHINES if m in args.machines]
    names = ["null"] + args.workloads
    times = {(n, m): [] for n in names for m in machines}
    checksums = {}
    instructions = {}
    failures = []
    for round_number in range(args.runs):
        for n in names:
            for m in machines:
                seconds, checksum, count = run_machine(args, m, n)
                times[(n, m)].append(seconds)
                if count is not None:
                    instructions[n] = count
                if checksum is None:
                    failures.append("%s on %s: no checksum" % (n, m))
                    continue
                want = checksums.setdefault(n, checksum)
                if checksum != want:
                    failures.append("%s on %s: checksum %08x, others %08x" % (n, m, checksum, want))
        print("round %d of %d done" % (round_number + 1, args.runs), file=sys.stderr)

    base = {m: min(times[("null", m)]) for m in machines}
    print("\nGuest MIPS (best of %d interleaved runs, wall time less each machine's start-up)"
          % args.runs)
    header = "%-8s %12s" % ("workload", "instructions") + "".join(" %10s" % m for m in machines)
    ratios = [("jit", "qemu"), ("jit", "simavr"), ("jit", "fast"), ("fast", "qemu"),
              ("fast", "simavr"), ("fast", "reference"), ("reference", "simavr")]
    ratios = [r for r in ratios if r[0] in machines and r[1] in machines]
    header += "".join(" %15s" % ("%s/%s" % r) for r in ratios)
    print(header)
    mips = {}
    for n in args.workloads:
        count = instructions.get(n, 0) - instructions.get("null", 0)
        row = "%-8s %12d" % (n, count)
        for m in machines:
            seconds = min(times[(n, m)]) - base[m]
            mips[(n, m)] = count / seconds / 1e6 if seconds > 0 else 0.0
            row += " %10.1f" % mips[(n, m)]
        for a, b in ratios:
            row += " %14.2fx" % (mips[(n, a)] / mips[(n, b)] if mips[(n, b)] else 0)
        print(row)
    row = "%-8s %12s" % ("geomean", "")
    for m in machines:
        row += " %10.1f" % geomean([mips[(n, m)] for n in args.workloads])
    for a, b in ratios:
        row += " %14.2fx" % geomean([mips[(n, a)] / mips[(n, b)] for n in args.workloads
                                     if mips[(n, b)]])
    print(row)
    print("start-up and end, ms:" + "".join(" %s %.1f" % (m, 1000 * base[m]) for m in machines))
    return failures


def host(args):
    """Velmora alone: service call, WDR, start-up and a full-screen fill, on every engine. Times
    are velmora-run's own of its run loop (its end report), the best of the runs."""
    failures = []
    d = args.dir

    def best(hex_name, engine):
        seconds = []
        for _ in range(args.runs):
            path = os.path.join(d, hex_name)
            _, out, err = run([args.velmora, "--dump-state", "--engine", engine, path])
            m = re.search(r"instructions in ([0-9.]+) s", err)
            if velmora_state(out).get("fault") != 2 or not m:
                failures.append("%s on %s did not end on its undefined word" % (hex_name, engine))
                return 0.0
            seconds.append(float(m.group(1)))
        return min(seconds)

    def startup(engine):
        walls = [run(velmora_cmd(args, engine, os.path.join(d, "null.hex")))[0]
                 for _ in range(args.runs)]
        return min(walls)

    print("\nVelmora host paths (best of %d runs; run-loop time from velmora-run's end report)"
          % args.runs)
    for engine in ENGINES:
        nop = best("loop_nop.hex", engine)
        brk = best("loop_break.hex", engine)
        wdr = best("loop_wdr.hex", engine)
        passes = args.loop_count
        print("%-9s service call round trip %6.1f ns, WDR %6.1f ns (beyond the loop without them)"
              % (engine, (brk - nop) / passes * 1e9, (wdr - nop) / passes * 1e9))
        per_fill = (best("fill.hex", engine) - best("fill_none.hex", engine)) / args.fill_count
        print("%-9s 1920x1080 fill %6.2f ms (%.0f Mpixel/s)"
              % (engine, per_fill * 1e3, 1920 * 1080 / per_fill / 1e6 if per_fill > 0 else 0))
        print("%-9s start-up to the end of a program that stops at once: %.1f ms (process)"
              % (engine, startup(engine) * 1e3))
    return failures


def callgrind(args):
    """Host instructions per guest instruction, from callgrind's count of a whole run less that
    of a run that ends at once."""
    failures = []
    print("\nHost instructions per guest instruction (valgrind --tool=callgrind)")
    print("%-8s %12s" % ("workload", "instructions") + "".join(" %10s" % e for e in ENGINES))

    def measure(name, engine):
        path = os.path.join(args.dir, name + ".hex")
        _, out, err = run(["valgrind", "--tool=callgrind", "--callgrind-out-file=/dev/null",
                              *velmora_cmd(args, engine, path)], timeout=3600)
        m = re.search(r"Collected\s*:\s*(\d+)", err)
        if not m:
            failures.append("callgrind gave no count for %s on %s" % (name, engine))
            return 0, 0
        return int(m.group(1)), velmora_state(out).get("instructions", 0)

    base = {e: measure("null", e) for e in ENGINES}
    per = {e: [] for e in base}
    for n in args.workloads:
        row = "%-8s" % n
        for e in ENGINES:
            ir, count = measure("cg_" + n, e)
            value = (ir - base[e][0]) / (count - base[e][1]) if count > base[e][1] else 0
            per[e].append(value)
            if e == ENGINES[0]:
                row += " %12d" % (count - base[e][1])
            row += " %10.1f" % value
        print(row)
    print("%-8s %12s" % ("geomean", "") + "".join(" %10.1f" % geomean(per[e]) for e in ENGINES))
    return failures


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--velmora", required=True, help="velmora-run")
    parser.add_argument("--dir", required=True, help="folder of the built programs")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--workloads", nargs="+", default=WORKLOADS)
    parser.add_argument("--machines", nargs="+", default=MACHINES)
    parser.add_argument("--loop-count", type=int, required=True)
    parser.add_argument("--fill-count", type=int, required=True)
    parser.add_argument("--no-host", action="store_true", help="leave out the Velmora host paths")
    parser.add_argument("--callgrind", action="store_true",
                        help="also count host instructions per guest instruction (slow)")
    args = parser.parse_args()
    failures = check_images(args)
    if failures:
        for f in failures:
            print("FAILED: " + f, file=sys.stderr)
        return 1
    failures = peers(args)
    if not args.no_host:
        failures += host(args)
    if args.callgrind:
        failures += callgrind(args)
    for f in failures:
        print("FAILED: " + f, file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
