"""The hello example runs to its end, shows its greeting on the screen and leaves its results
where its comment says."""

import os
import shutil
import sys
import tempfile

import velmora_test as vt

runner, hex_path = vt.setup(sys.argv)
work = tempfile.mkdtemp(prefix="velmora-hello-")
shot = os.path.join(work, "hello.png")
r = vt.run_guest(hex_path, ["--seed", "1", "--dump-memory", "0x100:48", "--timeout", "20",
                            "--screenshot", shot])
vt.expect_equal("exit status (window closed)", r.exit_code, vt.EXIT_QUIT, r)
vt.expect_equal("fault", r.state.get("fault"), 0, r)
primes = [2, 3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37, 41, 43, 47, 53, 59, 61, 67, 71]
vt.expect_equal("primes", list(r.memory(0x100, 20)), primes, r)
vt.expect_equal("sum", r.dword(0x114), sum(primes), r)
vt.expect_equal("greeting", r.cstring(0x118), b"Hello, Velmora!", r)
vt.expect_equal("sum in r2..r5", sum(r.state["r%d" % (2 + i)] << (8 * i) for i in range(4)),
                sum(primes), r)

# The screen: the boot report cleared to the dark blue background, the greeting at y 8 and the
# sum at y 32 in white system-font text, nothing else.
width, height, rows = vt.read_picture(shot)
shutil.rmtree(work, ignore_errors=True)
background = (16, 24, 48)
vt.expect_equal("background", rows[height - 1][width - 1], background)
lit = [sum(px != background for px in row) for row in rows]
for name, top in (("greeting", 8), ("sum", 32)):
    vt.expect(sum(lit[top:top + 16]) > 100, "%s drawn at y %d" % (name, top))
vt.expect(not any(lit[:4]) and not any(lit[60:]), "nothing but the two lines")
vt.expect(max(max(row) for row in rows) == (255, 255, 255), "white text")
vt.finish()
