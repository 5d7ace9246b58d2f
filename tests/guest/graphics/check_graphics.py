"""Runs the graphics guest programs in velmora-run.

    check_graphics.py VELMORA_RUN BINARY_DIR card NAME
    check_graphics.py VELMORA_RUN BINARY_DIR services
    check_graphics.py VELMORA_RUN BINARY_DIR closed

A card is drawn by graphics_card_NAME.hex and saved with --screenshot; the picture must equal
golden/NAME.png pixel for pixel. On a difference the actual picture is written to
BINARY_DIR/card_NAME.actual.png to look at, with the first differing pixels listed.

To regenerate the golden pictures after a deliberate change of the rasteriser, run the tests with
VELMORA_UPDATE_GOLDEN=1 in the environment (ctest -R graphics.card), then look at every changed
picture before committing it.
"""
import os
import shutil
import sys

import velmora_test as vt

HERE = os.path.dirname(os.path.abspath(__file__))


def check_card(bin_dir, name):
    hex_path = os.path.join(bin_dir, "graphics_card_%s.hex" % name)
    shot = os.path.join(bin_dir, "card_%s.actual.png" % name)
    if os.path.exists(shot):
        os.remove(shot)
    r = vt.run_guest(hex_path, ["--quiet", "--seed", "7", "--screenshot", shot])
    if not vt.expect_equal("exit", r.exit_code, vt.EXIT_FAULT, r):
        return
    golden = os.path.join(HERE, "golden", "%s.png" % name)
    if os.environ.get("VELMORA_UPDATE_GOLDEN") == "1":
        shutil.copyfile(shot, golden)
        print("updated %s" % golden)
        return
    if not vt.expect(os.path.exists(golden), "no golden picture %s" % golden):
        return
    got, want = vt.read_png(shot), vt.read_png(golden)
    if not vt.expect_equal("size", got[:2], want[:2]):
        return
    differences = [(x, y, got[2][y][x], want[2][y][x]) for y in range(got[1])
                   for x in range(got[0]) if got[2][y][x] != want[2][y][x]]
    if vt.expect(not differences, "%s: %d pixels differ from %s (see %s), first: %s" % (
            name, len(differences), golden, shot, differences[:8])):
        os.remove(shot)


PEN = 0x1E140A
# R[index] of services.c: the value it must hold and what it shows.
SERVICE_RESULTS = {
    0: (0, "current layer after start"),
    1: (240, "layer 0 width"),
    2: (120, "layer 0 height"),
    3: (1, "(239, 119) inside the start clip"),
    4: (0, "(240, 119) outside"),
    5: (PEN, "pixel at the clamped right edge of the clip"),
    6: (0xFFFFFFFF, "read-back left of the clip"),
    7: (2, "bottom edge of the clip inside, the row below outside"),
    8: (0x030201, "screen size raised to 20 and the clip reset: (19, 19) cleared"),
    9: (0, "(20, 19) left alone"),
    10: (0, "screen size lowered to the layer: (239, 119) cleared"),
    11: (0, "create 10009 x 1"),
    12: (2, "create 10010 wide refused"),
    13: (10009, "refused request keeps the layer"),
    14: (2, "reserved byte 1 refused"),
    15: (10009, "... and keeps the layer"),
    16: (2, "delete the current layer refused"),
    17: (0, "delete an absent layer"),
    18: (0, "delete layer 7"),
    19: (0, "layer 7 gone"),
    20: (2, "create with width 0 refused"),
    21: (0x200, "exists answers 0 with the last status"),
    22: (0x55, "select absent layer: status untouched, layer 0 current"),
    23: (0, "create layer 65535"),
    24: (30 | 20 << 16, "its size"),
    25: (2, "negative width refused"),
    26: (1, "pen width 0 taken as 1"),
    27: (20000, "pen width 30000 taken as 20000"),
    28: (0xFFFB, "negative pen width kept"),
    29: (0x345678, "pen colour loses its top byte"),
    30: (0x030201, "background from bytes"),
    31: (0x000001, "text colour loses its top byte"),
    32: (0x12345678, "blend weight 0 keeps all 32 bits of c1"),
    33: (0xFE00FE, "blend weight 1"),
    34: (0x7F, "blend weight 128 of red and black"),
    35: (0xAABBCCDD, "blend weight 255 gives c2"),
    36: (0x646468, "blend weight 100: each channel rounded toward zero"),
    37: (PEN, "toggle a background pixel"),
    38: (0, "toggle it back"),
    39: (0xFFFFFFFF, "read-back left of the layer"),
    40: (0xFFFFFFFF, "read-back right of the layer"),
    41: (0x123456, "a set pixel keeps 24 bits"),
    42: (3, "line leaves out its end point"),
    43: (7, "line-to starts at the current position"),
    44: (15, "inclusive fill of one pixel"),
    45: (9, "noise in reversed corners: all 9 inside, none outside"),
    46: (0xFFFFFF00, "random colours: no top byte, every colour bit"),
    47: (0x807F, "blend weight 128 of red and green"),
    48: (0x060504, "fill colour from bytes"),
    49: (0x090807, "text colour from bytes"),
    50: (1, "random plots paint some pixels and leave others"),
}


def check_services(bin_dir):
    r = vt.run_guest(os.path.join(bin_dir, "graphics_services.hex"),
                     ["--quiet", "--seed", "7", "--dump-memory", "0x1000:256"])
    vt.expect_equal("exit", r.exit_code, vt.EXIT_FAULT, r)
    if r.exit_code != vt.EXIT_FAULT:
        return
    vt.expect_equal("program ran to the end", r.word(0x10FE), 0xC0DE, r)
    for index, (want, what) in sorted(SERVICE_RESULTS.items()):
        vt.expect_equal("R[%d] %s" % (index, what), r.dword(0x1000 + 4 * index), want)


def check_closed(bin_dir):
    """The picture survives the guest closing its own window, at the shown size."""
    shot = os.path.join(bin_dir, "closed.png")
    if os.path.exists(shot):
        os.remove(shot)
    r = vt.run_guest(os.path.join(bin_dir, "graphics_closed.hex"), ["--quiet", "--screenshot", shot])
    vt.expect_equal("exit", r.exit_code, vt.EXIT_QUIT, r)
    if not vt.expect(os.path.exists(shot), "no screenshot written", r):
        return
    width, height, rows = vt.read_png(shot)
    vt.expect_equal("size", (width, height), (100, 50))
    for (x, y), want in {(0, 0): (0, 0, 200), (10, 10): (250, 200, 0), (19, 19): (250, 200, 0),
                         (20, 19): (0, 0, 200), (99, 49): (1, 2, 3)}.items():
        vt.expect_equal("pixel %d,%d" % (x, y), rows[y][x], want)
    bad = vt.run_guest(os.path.join(bin_dir, "graphics_closed.hex"),
                       ["--quiet", "--screenshot", os.path.join(bin_dir, "no", "such", "dir.png")])
    vt.expect("cannot write the screenshot" in bad.stderr, "unwritable screenshot reported", bad)


def main():
    _, rest = vt.setup(sys.argv)
    bin_dir, what = rest[0], rest[1]
    if what == "card":
        check_card(bin_dir, rest[2])
    elif what == "closed":
        check_closed(bin_dir)
    else:
        sys.path.insert(0, HERE)
        check_services(bin_dir)
    vt.finish()


if __name__ == "__main__":
    main()
