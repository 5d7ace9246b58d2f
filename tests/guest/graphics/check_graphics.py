"""Runs the graphics guest programs in velmora-run.

    check_graphics.py VELMORA_RUN BINARY_DIR card_NAME|closed

A card is drawn by graphics_card_NAME.hex; its screenshot must equal golden/NAME.png pixel for
pixel (on a difference BINARY_DIR/card_NAME.actual.png is kept). After a deliberate change of the
rasteriser, run the cards with VELMORA_UPDATE_GOLDEN=1 in the environment (ctest -R
graphics.card) and look at every changed picture before committing it.
"""
import os

import velmora_test as vt

HERE = os.path.dirname(os.path.abspath(__file__))
CARDS = ["lines", "rects", "ellipses", "pies", "bezier", "wide", "clip", "layers"]


def card(name):
    def check(bin_dir):
        shot = os.path.join(bin_dir, "card_%s.actual.png" % name)
        if os.path.exists(shot):
            os.remove(shot)
        r = vt.run_halting(os.path.join(bin_dir, "graphics_card_%s.hex" % name),
                           ["--quiet", "--seed", "7", "--screenshot", shot])
        vt.expect_golden(shot, os.path.join(HERE, "golden", name + ".png"), r)
    return check


def closed(bin_dir):
    """The picture survives the guest closing its own window, at the shown size."""
    shot = os.path.join(bin_dir, "closed.png")
    if os.path.exists(shot):
        os.remove(shot)
    hex_path = os.path.join(bin_dir, "graphics_closed.hex")
    r = vt.run_guest(hex_path, ["--quiet", "--screenshot", shot])
    vt.expect_equal("exit", r.exit_code, vt.EXIT_QUIT, r)
    if not vt.expect(os.path.exists(shot), "no screenshot written", r):
        return
    width, height, rows = vt.read_picture(shot)
    vt.expect_equal("size", (width, height), (100, 50))
    for (x, y), want in {(0, 0): (0, 0, 200), (10, 10): (250, 200, 0), (19, 19): (250, 200, 0),
                         (20, 19): (0, 0, 200), (99, 49): (1, 2, 3)}.items():
        vt.expect_equal("pixel %d,%d" % (x, y), rows[y][x], want)


vt.main(dict({"card_" + name: card(name) for name in CARDS}, closed=closed))
