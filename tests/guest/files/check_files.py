"""Runs the file-services guest in a scratch directory and checks what it recorded and what it
left on disk."""

import os
import shutil
import sys
import tempfile

import velmora_test as vt

runner, (hex_path, source_path) = vt.setup(sys.argv)
with tempfile.TemporaryDirectory(prefix="velmora_files_") as scratch:
    local_hex = os.path.join(scratch, "files_guest.hex")
    shutil.copy(hex_path, local_hex)
    # Started elsewhere: the boot must make the program's directory current. The path is named as
    # the runner's platform names it, so that the program's directory and the current one agree.
    program = vt.guest_path(local_hex) if vt.WINDOWS else local_hex
    r = vt.run_halting(program, ["--max-instructions", "20000000"] + vt.CHECKS_DUMP, cwd="/")
    vt.report_checks(r, source_path, 164)

    def content(name):
        with open(os.path.join(scratch, name), "rb") as f:
            return f.read()

    # What the guest wrote is on disk, little-endian and with CR LF line ends.
    vt.expect_equal("lines.txt", content("lines.txt"), b"A\r\nBABCDEF\r\n\r\nG\r\n")
    vt.expect_equal("range.bin", (len(content("range.bin")), content("range.bin")[:1]),
                    (0x0E, b"K"))
    vt.expect_equal("created0.bin", content("created0.bin"), b"")
    vt.expect("values.bin" not in os.listdir(scratch), "values.bin was not renamed away")
    vt.expect("zzzzzzzz" in os.listdir(scratch), "name cut at the end of the data space")
vt.finish()
