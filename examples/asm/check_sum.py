"""The assembly example adds 1 to 100 through the arithmetic service and ends cleanly."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "tests", "guest"))
import velmora_test as vt  # noqa: E402

runner, hex_path = vt.setup(sys.argv)
r = vt.run_guest(hex_path, ["--dump-memory", "0x200:4"])
vt.expect_equal("exit status", r.exit_code, vt.EXIT_QUIT, r)
vt.expect_equal("sum", r.dword(0x200), 5050, r)
vt.finish()
