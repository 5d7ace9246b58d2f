"""The paint example sees two scripted clicks and several timer ticks, draws a ring at each click
and ends cleanly on the close request."""
import os
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "tests", "guest"))
import velmora_test as vt  # noqa: E402

runner, hex_path = vt.setup(sys.argv)
with tempfile.TemporaryDirectory() as tmp:
    shot = os.path.join(tmp, "paint.png")
    r = vt.run_guest(hex_path, ["--click", "40,40@100", "--click", "120,60@200", "--close", "500",
                                "--screenshot", shot, "--dump-memory", "0x1F0:4"])
    vt.expect_equal("exit status", r.exit_code, vt.EXIT_QUIT, r)
    vt.expect_equal("clicks", r.word(0x1F0), 2, r)
    vt.expect(3 <= r.word(0x1F2) <= 6, "timer ticks in 500 ms of 100: %d" % r.word(0x1F2), r)
    width, height, rows = vt.read_picture(shot)
    ring = (255, 220, 0)
    vt.expect_equal("ring right of the first click", rows[40][47], ring)
    vt.expect_equal("ring above the second click", rows[52][120], ring)
    vt.expect_equal("inside the first ring", rows[40][40], (0, 0, 0))
vt.finish()
