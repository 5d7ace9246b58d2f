"""The hello example runs to its end and leaves its results where its comment says."""

import sys

import velmora_test as vt

runner, hex_path = vt.setup(sys.argv)
r = vt.run_guest(hex_path, ["--seed", "1", "--dump-memory", "0x100:48", "--timeout", "20"])
vt.expect_equal("exit status (window closed)", r.exit_code, vt.EXIT_QUIT, r)
vt.expect_equal("fault", r.state.get("fault"), 0, r)
primes = [2, 3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37, 41, 43, 47, 53, 59, 61, 67, 71]
vt.expect_equal("primes", list(r.memory(0x100, 20)), primes, r)
vt.expect_equal("sum", r.dword(0x114), sum(primes), r)
vt.expect_equal("greeting", r.cstring(0x118), b"Hello, Velmora!", r)
vt.expect_equal("sum in r2..r5", sum(r.state["r%d" % (2 + i)] << (8 * i) for i in range(4)),
                sum(primes), r)
vt.finish()
