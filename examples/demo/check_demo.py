"""The bundled demo runs to its clean end, counts the primes below 1000 and shows its card."""
import os
import struct
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "tests", "guest"))
import velmora_test as vt  # noqa: E402

runner, hex_path = vt.setup(sys.argv)
with tempfile.TemporaryDirectory() as tmp:
    shot = os.path.join(tmp, "demo.png")
    r = vt.run_guest(hex_path, ["--seed", "1", "--screenshot", shot, "--dump-memory", "0x1F0:4"])
    vt.expect_equal("exit status", r.exit_code, vt.EXIT_QUIT, r)
    vt.expect_equal("primes below 1000", r.word(0x1F0), 168, r)
    vt.expect_equal("last prime", r.word(0x1F2), 997, r)
    with open(shot, "rb") as f:
        head = f.read(24)
    vt.expect(head[:8] == b"\x89PNG\r\n\x1a\n", "screenshot is a PNG")
    vt.expect_equal("screenshot size", struct.unpack(">II", head[16:24]), (320, 200))
vt.finish()
