"""Runs the image guest programs in velmora-run in a scratch directory that holds their input
files, then checks the statuses they recorded and every file they saved, pixel by pixel.

    check_images.py VELMORA_RUN BINARY_DIR DATA_DIR GROUP      (GROUP: files, blocks or clip)
"""

import os
import shutil
import struct
import sys
import tempfile

import velmora_test as vt

WHITE = (255, 255, 255)
BLACK = (0, 0, 0)
FLOOD = (50, 50, 0)  # the colour flood fills stop at or fill


def pattern(x, y):
    """The 5 x 3 picture of the files in tests/data/images (see make_images.py)."""
    return ((x * 50 + y * 7) % 256, (y * 80 + x) % 256, (x * y * 30 + 11) % 256)


def scene(x, y):
    return (x * 6, y * 12, (x + y) * 3)


def dest(x, y):
    return (200, x * 8, y * 8)


def src(x, y):
    return (x * 12, 100, y * 12)


def outline(x, y):
    on_rectangle = 3 <= x <= 12 and 3 <= y <= 10 and (x in (3, 12) or y in (3, 10))
    on_blob = 18 <= x <= 20 and 12 <= y <= 14
    return FLOOD if on_rectangle or on_blob else BLACK


def comb(x, y):
    return FLOOD if x % 2 and y % 2 else BLACK


def bmp_bytes(width, height, pixel):
    """A file in the form this system writes: 54-byte header, rows bottom-up, padded."""
    row_size = (width * 3 + 3) // 4 * 4
    rows = bytearray()
    for y in reversed(range(height)):
        row = bytearray()
        for x in range(width):
            r, g, b = pixel(x, y)
            row += bytes((b, g, r))
        rows += row + bytes(row_size - len(row))
    header = b"BM" + struct.pack("<IIIIiiHHIIIIII", 54 + len(rows), 0, 54, 40, width, height, 1,
                                 24, 0, 0, 0, 0, 0, 0)
    return header + bytes(rows)


def picture(width, height, pixel):
    return [[pixel(x, y) for x in range(width)] for y in range(height)]


def expect_picture(work, name, want):
    try:
        got = vt.read_bmp(os.path.join(work, name))[2]
    except (OSError, ValueError) as error:
        vt.expect(False, "%s: %s" % (name, error))
        return
    if len(got) != len(want) or (got and len(got[0]) != len(want[0])):
        vt.expect(False, "%s: size %dx%d, want %dx%d" % (
            name, len(got[0]) if got else 0, len(got), len(want[0]) if want else 0, len(want)))
        return
    for y, (got_row, want_row) in enumerate(zip(got, want)):
        for x, (g, w) in enumerate(zip(got_row, want_row)):
            if g != w:
                vt.expect(False, "%s: pixel (%d, %d) is %r, want %r" % (name, x, y, g, w))
                return


def paste(base, image, left, top):
    """base with image drawn at (left, top), cut to base; None entries of image are not drawn."""
    out = [row[:] for row in base]
    for y, row in enumerate(image):
        for x, colour in enumerate(row):
            tx, ty = left + x, top + y
            if colour is not None and 0 <= ty < len(out) and 0 <= tx < len(out[0]):
                out[ty][tx] = colour
    return out


def region(base, left, top, right, bottom):
    """Columns left..right-1 and rows top..bottom-1 of base, white outside it."""
    def at(x, y):
        inside = 0 <= y < len(base) and 0 <= x < len(base[0])
        return base[y][x] if inside else WHITE
    return [[at(x, y) for x in range(left, right)] for y in range(top, bottom)]


def fill(base, start, mode, colour, clip=None):
    """Reference flood fill: 4-connected, inside the clip, from start."""
    height, width = len(base), len(base[0])
    left, top, right, bottom = clip or (0, 0, width - 1, height - 1)
    out = [row[:] for row in base]

    def fillable(x, y):
        return (base[y][x] != FLOOD) if mode == 0 else (base[y][x] == FLOOD)

    x0, y0 = start
    if not (left <= x0 <= right and top <= y0 <= bottom) or not fillable(x0, y0):
        return out
    seen, todo = {start}, [start]
    while todo:
        x, y = todo.pop()
        out[y][x] = colour
        for nx, ny in ((x + 1, y), (x - 1, y), (x, y + 1), (x, y - 1)):
            if left <= nx <= right and top <= ny <= bottom and (nx, ny) not in seen and \
                    fillable(nx, ny):
                seen.add((nx, ny))
                todo.append((nx, ny))
    return out


def prepare(work, data_dir):
    for name in os.listdir(data_dir):
        if name.endswith(".bmp") or name.endswith(".txt"):
            shutil.copy(os.path.join(data_dir, name), work)
    files = {
        "scene.bmp": bmp_bytes(40, 20, scene),
        "dest.bmp": bmp_bytes(30, 30, dest),
        "src.bmp": bmp_bytes(20, 20, src),
        "outline.bmp": bmp_bytes(24, 16, outline),
        "comb.bmp": bmp_bytes(600, 8, comb),
        "rt32.bmp": bmp_bytes(3, 2, lambda x, y: (x * 80 + 1, y * 90 + 2, x * y + 3)),
        "rt41.bmp": bmp_bytes(4, 1, lambda x, y: (255 - x, x * 60, 7)),
        "big640.bmp": bmp_bytes(640, 480, lambda x, y: (x % 256, y % 256, 9)),
        "wide10010.bmp": bmp_bytes(10010, 1, lambda x, y: BLACK)[:54],
        # Claims 2^31 - 1 rows, holds 4 (stored bottom-up, so they belong far below the layer).
        "tall.bmp": bmp_bytes(2, 4, lambda x, y: WHITE)[:22] + struct.pack("<i", 0x7FFFFFFF) +
        bmp_bytes(2, 4, lambda x, y: WHITE)[26:],
        # Written over by a 78-byte image: nothing of it may stay behind.
        "rt32_out.bmp": b"old contents " * 40,
    }
    for name, data in files.items():
        open(os.path.join(work, name), "wb").write(data)


def run(runner_dir, work, program):
    shutil.copy(os.path.join(runner_dir, program + ".hex"), work)
    return vt.run_halting(os.path.join(work, program + ".hex"),
                          ["--max-instructions", "50000000", "--dump-memory", "0x100:0x80"],
                          cwd=work)


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
    for name in accepted:
        vt.expect_equal("load and save %s" % name, result.memory(at, 2), b"\0\0")
        expect_picture(work, "out_%s.bmp" % name, picture(5, 3, pattern))
        at += 2
    vt.expect_equal("round trips", result.memory(at, 4), b"\0\0\0\0")
    for name in ("rt32", "rt41"):
        saved = open(os.path.join(work, name + "_out.bmp"), "rb").read()
        vt.expect_equal("%s saved again" % name, saved,
                        open(os.path.join(work, name + ".bmp"), "rb").read())
    at += 4
    vt.expect_equal("absent layer, oversize layer, 32-bit layer, layer never made",
                    list(result.memory(at, 4)), [1, 2, 6, 1])
    for name in ("never.bmp", "absent.bmp"):
        vt.expect(not os.path.exists(os.path.join(work, name)), "no file for an absent layer")
    at += 4
    vt.expect_equal("scene and regions", list(result.memory(at, 6)), [0] * 6)
    base = picture(40, 20, scene)
    expect_picture(work, "region.bmp", region(base, 20, 10, 30, 15))
    expect_picture(work, "region_clamped.bmp", region(base, 0, 0, 3, 2))
    expect_picture(work, "region_outside.bmp", region(base, 38, 18, 42, 21))
    expect_picture(work, "region_inverted.bmp", [])
    expect_picture(work, "region_narrow.bmp", [[]] * 5)  # width 0, height 5
    at += 6
    vt.expect_equal("loads into the current layer", list(result.memory(at, 7)),
                    [0, 0, 0, 6, 1, 0, 0])
    shown = paste(base, picture(5, 3, pattern), -2, 17)
    shown = paste(shown, picture(5, 3, pattern), 20, 5)
    expect_picture(work, "scene_loaded.bmp", shown)
    at += 7
    vt.expect_equal("unwritable name, end marker", list(result.memory(at, 2)), [1, 0xEE])


def check_blocks(work):
    base, source = picture(30, 30, dest), picture(20, 20, src)
    block = [row[0:10] for row in source[0:10]]
    expect_picture(work, "copy_basic.bmp", paste(base, block, 5, 5))
    expect_picture(work, "copy_none.bmp", base)
    edges = paste(base, [row[15:20] for row in source[0:10]], 25, 22)
    edges = paste(edges, [row[0:4] for row in source[18:20]], 0, 0)
    expect_picture(work, "copy_edges.bmp", edges)

    shape = picture(24, 16, outline)
    inside = fill(shape, (6, 6), 0, WHITE)
    vt.expect("the inside is 8 x 6", sum(row.count(WHITE) for row in inside) == 48)
    expect_picture(work, "fill_border.bmp", inside)
    expect_picture(work, "fill_surface.bmp", fill(shape, (3, 3), 1, WHITE))
    expect_picture(work, "fill_mode5.bmp", fill(shape, (12, 10), 1, WHITE))
    expect_picture(work, "fill_outside.bmp", fill(shape, (0, 0), 0, WHITE))
    expect_picture(work, "fill_none.bmp", shape)
    expect_picture(work, "fill_twice.bmp", fill(shape, (0, 0), 0, WHITE))
    expect_picture(work, "fill_comb.bmp", fill(picture(600, 8, comb), (0, 0), 0, WHITE))


def check_clip(result, work):
    vt.expect_equal("statuses and clip tests", list(result.memory(0x100, 8)),
                    [0, 0, 1, 1, 0, 0, 0, 0xEE])
    base = picture(40, 20, scene)
    clipped = [[base[y][x] if 10 <= x <= 29 and 5 <= y <= 14 else WHITE
                for x in range(5, 35)] for y in range(0, 20)]
    expect_picture(work, "clip_region.bmp", clipped)
    expect_picture(work, "clip_layer.bmp", base)
    source = picture(20, 20, src)
    copied = [[source[y][x] if 10 <= x <= 29 and 5 <= y <= 14 else None for x in range(20)]
              for y in range(20)]
    expect_picture(work, "clip_copy.bmp", paste(base, copied, 0, 0))
    filled = fill(picture(24, 16, outline), (6, 6), 0, (0x56, 0x34, 0x12), clip=(0, 0, 7, 15))
    drawn = [[pattern(x, y) if 5 + x <= 7 else None for x in range(5)] for y in range(3)]
    expect_picture(work, "clip_fill.bmp", paste(filled, drawn, 5, 11))


def main():
    _, (binary_dir, data_dir, group) = vt.setup(sys.argv)
    work = tempfile.mkdtemp(prefix="velmora_images_")
    try:
        prepare(work, data_dir)
        result = run(binary_dir, work, "images_" + group)
        if group == "files":
            check_files(result, work)
        elif group == "blocks":
            check_blocks(work)
        else:
            check_clip(result, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    vt.finish()


if __name__ == "__main__":
    main()
