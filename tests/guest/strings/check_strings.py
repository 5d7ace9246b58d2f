"""Runs strings_guest.hex: the program checks every case itself and leaves a line for each
mismatch in its transcript, which must hold nothing but the closing "end"."""
import sys

import velmora_test as vt

TRANSCRIPT = 0x8000
TRANSCRIPT_SIZE = 4096


def main():
    _, hex_path = vt.setup(sys.argv)
    r = vt.run_guest(hex_path, ["--max-instructions", "5000000",
                                "--dump-memory", "0x%X:%d" % (TRANSCRIPT, TRANSCRIPT_SIZE)])
    vt.expect_equal("exit", r.exit_code, vt.EXIT_FAULT, r)
    vt.expect_equal("fault", r.state.get("fault"), vt.FAULT_UNDEFINED, r)
    transcript = r.cstring(TRANSCRIPT, TRANSCRIPT_SIZE).decode("latin-1")
    vt.expect_equal("transcript", transcript, "end\n")
    vt.finish()


if __name__ == "__main__":
    main()
