"""Runs the text guest programs in velmora-run.

    check_text.py VELMORA_RUN BINARY_DIR services|all_fonts

all_fonts compares the screenshot of every built-in glyph with all_fonts.png beside this file; on
a difference the screenshot stays in BINARY_DIR as text_all_fonts.png to look at. With
VELMORA_UPDATE_GOLDEN=1 in the environment it writes the golden picture instead.
"""
import os
import shutil
import sys

import velmora_test as vt

HERE = os.path.dirname(os.path.abspath(__file__))
GOLDEN = os.path.join(HERE, "all_fonts.png")


def check_services(bin_dir):
    r = vt.run_guest(os.path.join(bin_dir, "text_services.hex"), ["--quiet", "--dump-memory", "0x1000:56"])
    vt.expect_equal("exit", r.exit_code, vt.EXIT_FAULT, r)
    if r.exit_code != vt.EXIT_FAULT:
        return
    word = lambda i: r.word(0x1000 + 2 * i)
    vt.expect_equal("program ran to the end", word(25), 0xC0DE, r)
    expected = {
        0: 0,          # font 0 selected
        1: 22, 2: 11, 3: 7,   # "AB" at 10 with spacing 1: ends at 22, 11 wide, 7 high
        4: 20, 5: 10,         # spacing 0
        6: 16, 7: 8,          # spacing -2: the letters share two columns
        8: 1, 9: 22,          # font 8: status 1, font 0 with spacing 1
        10: 244,              # past the shown edge: one spacing per character
        11: 13, 12: 10, 13: 8,  # font 7: A, 1, space
        14: 5, 15: 5, 16: 2,    # font 1
        17: 7,                # width and height to the same address: the height stays
        18: 21, 19: 37, 20: 32,  # system font slot 0: 16 pixels a line
        21: 0, 22: 20,        # an unknown face still gives a font of the asked height
        26: 4096, 27: 4088,   # 3000 characters 4096 pixels high: one line
    }
    for index, want in expected.items():
        vt.expect_equal("result %d" % index, word(index), want, r)
    vt.expect_equal("built-in draw returns measure plus spacing", word(24), word(23) + 1, r)


def check_all_fonts(bin_dir):
    shot = os.path.join(bin_dir, "text_all_fonts.png")
    if os.path.exists(shot):
        os.remove(shot)
    r = vt.run_guest(os.path.join(bin_dir, "text_all_fonts.hex"),
                     ["--quiet", "--screenshot", shot, "--dump-memory", "0x1000:1"])
    vt.expect_equal("exit", r.exit_code, vt.EXIT_FAULT, r)
    if r.exit_code != vt.EXIT_FAULT or not vt.expect_equal("drew everything", r.byte(0x1000), 1, r):
        return
    if not os.path.exists(shot):
        vt.expect(False, "no screenshot", r)
        return
    if os.environ.get("VELMORA_UPDATE_GOLDEN") == "1":
        shutil.copyfile(shot, GOLDEN)
        return
    vt.expect(vt.read_png(shot) == vt.read_png(GOLDEN),
              "the glyph picture differs from %s; see %s" % (GOLDEN, shot))


def main():
    _, rest = vt.setup(sys.argv)
    bin_dir, which = rest
    {"services": check_services, "all_fonts": check_all_fonts}[which](bin_dir)
    vt.finish()


if __name__ == "__main__":
    main()
