"""Runs the text guest programs in velmora-run.

    check_text.py VELMORA_RUN BINARY_DIR services|all_fonts

all_fonts compares the screenshot of every built-in glyph with all_fonts.png beside this file
(VELMORA_UPDATE_GOLDEN=1 in the environment writes it instead).
"""
import os

import velmora_test as vt

HERE = os.path.dirname(os.path.abspath(__file__))


def services(bin_dir):
    r = vt.run_halting(os.path.join(bin_dir, "text_services.hex"), ["--quiet"] + vt.CHECKS_DUMP)
    vt.report_checks(r, os.path.join(HERE, "text_services.c"), 27)


def all_fonts(bin_dir):
    shot = os.path.join(bin_dir, "text_all_fonts.png")
    if os.path.exists(shot):
        os.remove(shot)
    r = vt.run_halting(os.path.join(bin_dir, "text_all_fonts.hex"),
                       ["--quiet", "--screenshot", shot, "--dump-memory", "0x1000:1"])
    if vt.expect_equal("drew everything", r.byte(0x1000), 1, r):
        vt.expect_golden(shot, os.path.join(HERE, "all_fonts.png"), r)


vt.main({"services": services, "all_fonts": all_fonts})
