"""Compares the screenshot of every built-in glyph with all_fonts.png beside this file
(VELMORA_UPDATE_GOLDEN=1 in the environment writes it instead).

    check_text.py VELMORA_RUN BINARY_DIR all_fonts
"""
import os

import velmora_test as vt

HERE = os.path.dirname(os.path.abspath(__file__))


def all_fonts(bin_dir):
    shot = os.path.join(bin_dir, "text_all_fonts.png")
    if os.path.exists(shot):
        os.remove(shot)
    r = vt.run_halting(os.path.join(bin_dir, "text_all_fonts.hex"), ["--quiet", "--screenshot", shot])
    vt.expect_golden(shot, os.path.join(HERE, "all_fonts.png"), r)


vt.main({"all_fonts": all_fonts})
