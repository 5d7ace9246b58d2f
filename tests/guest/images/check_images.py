"""Runs the image guest programs in velmora-run in a scratch directory that holds their input
files, then checks the statuses they recorded and every file they saved against its golden
picture (golden/; VELMORA_UPDATE_GOLDEN=1 writes them anew).

    check_images.py VELMORA_RUN BINARY_DIR DATA_DIR GROUP      (GROUP: files, blocks or clip)

The inputs beside the data files (input/): a 40 x 20 scene, 30 x 30 and 20 x 20 pictures for
block copies, a rectangle outline and a blob in the flood-fill colour (24 x 16) and a 600 x 8
comb of single pixels for fills, files in this system's own form for round trips (rt32, rt41), a
header of a 10010-pixel row without its data, a file that claims 2^31 - 1 rows and holds 4, and
the header of a 640 x 480 picture.
"""

import os
import shutil
import sys
import tempfile

import velmora_test as vt

HERE = os.path.dirname(os.path.abspath(__file__))


def expect_pictures(work, names, golden=None):
    for name in names:
        vt.expect_golden(os.path.join(work, name), os.path.join(HERE, "golden", golden or name))


def check_files(result, work):
    queried = [("core12.bmp", 0, 5, 3), ("info40.bmp", 0, 5, 3), ("v52.bmp", 0, 5, 3),
               ("v56.bmp", 0, 5, 3), ("v4_108.bmp", 0, 5, 3), ("v5_124.bmp", 0, 5, 3),
               ("topdown.bmp", 0, 5, 3), ("rgba32.bmp", 6, 0, 0), ("pal8.bmp", 6, 0, 0),
               ("rle8.bmp", 6, 0, 0), ("os2v2_64.bmp", 3, 0, 0), ("rle24.bmp", 5, 0, 0),
               ("text.txt", 2, 0, 0), ("missing.bmp", 1, 0, 0), ("big640.bmp", 0, 640, 480)]
    at = 0x100
    for name, status, width, height in queried:
        vt.expect_equal("size query %s" % name,
                        (result.byte(at), result.word(at + 1), result.word(at + 3)),
                        (status, width, height))
        at += 5
    accepted = ["core12", "info40", "v52", "v56", "v4_108", "v5_124", "topdown"]
    groups = [("loads and saves", [0] * 2 * len(accepted)), ("round trips", [0] * 4),
              ("absent layer, oversize layer, 32-bit layer, layer never made", [1, 2, 6, 1]),
              ("scene and regions", [0] * 6),
              ("loads into the current layer", [0, 0, 0, 6, 1, 0, 0]),
              ("unwritable name, end marker", [1, 0xEE])]
    for label, want in groups:
        vt.expect_equal(label, list(result.memory(at, len(want))), want)
        at += len(want)
    # Every kind of file this system reads is saved again as the same 5 x 3 pattern.
    expect_pictures(work, ["out_%s.bmp" % name for name in accepted], "pattern.bmp")
    for name in ("rt32", "rt41"):
        saved = open(os.path.join(work, name + "_out.bmp"), "rb").read()
        vt.expect_equal("%s saved again" % name, saved,
                        open(os.path.join(HERE, "input", name + ".bmp"), "rb").read())
    for name in ("never.bmp", "absent.bmp"):
        vt.expect(not os.path.exists(os.path.join(work, name)), "no file for an absent layer")
    expect_pictures(work, ["region.bmp", "region_clamped.bmp", "region_outside.bmp",
                           "region_inverted.bmp", "region_narrow.bmp", "scene_loaded.bmp"])


def check_blocks(result, work):
    expect_pictures(work, ["copy_basic.bmp", "copy_none.bmp", "copy_edges.bmp", "fill_border.bmp",
                           "fill_surface.bmp", "fill_mode5.bmp", "fill_outside.bmp",
                           "fill_none.bmp", "fill_twice.bmp", "fill_comb.bmp"])


def check_clip(result, work):
    vt.expect_equal("statuses and clip tests", list(result.memory(0x100, 8)),
                    [0, 0, 1, 1, 0, 0, 0, 0xEE])
    expect_pictures(work, ["clip_region.bmp", "clip_layer.bmp", "clip_copy.bmp", "clip_fill.bmp"])


def main():
    _, (binary_dir, data_dir, group) = vt.setup(sys.argv)
    work = tempfile.mkdtemp(prefix="velmora_images_")
    try:
        for folder in (data_dir, os.path.join(HERE, "input")):
            for name in os.listdir(folder):
                if name.endswith(".bmp") or name.endswith(".txt"):
                    shutil.copy(os.path.join(folder, name), work)
        # Written over by a 78-byte image: nothing of it may stay behind.
        open(os.path.join(work, "rt32_out.bmp"), "wb").write(b"old contents " * 40)
        program = "images_" + group
        shutil.copy(os.path.join(binary_dir, program + ".hex"), work)
        result = vt.run_halting(os.path.join(work, program + ".hex"),
                                ["--max-instructions", "50000000", "--dump-memory", "0x100:0x80"],
                                cwd=work)
        {"files": check_files, "blocks": check_blocks, "clip": check_clip}[group](result, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    vt.finish()


if __name__ == "__main__":
    main()
