"""Runs the text guest programs in velmora-run.

    check_text.py VELMORA_RUN BINARY_DIR services|all_fonts

all_fonts compares the saved picture of every built-in glyph with all_fonts.png beside this file;
on a difference it writes text_all_fonts.actual.png into BINARY_DIR to look at. With
VELMORA_UPDATE_GOLDEN=1 in the environment it writes the golden picture instead.
"""
import os
import struct
import sys
import zlib

import velmora_test as vt

HERE = os.path.dirname(os.path.abspath(__file__))
GOLDEN = os.path.join(HERE, "all_fonts.png")


def check_services(bin_dir):
    r = vt.run_guest(os.path.join(bin_dir, "text_services.hex"), ["--quiet", "--dump-memory", "0x1000:52"])
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
    }
    for index, want in expected.items():
        vt.expect_equal("result %d" % index, word(index), want, r)
    vt.expect_equal("built-in draw returns measure plus spacing", word(24), word(23) + 1, r)


def read_bmp(path):
    with open(path, "rb") as f:
        data = f.read()
    offset, = struct.unpack_from("<I", data, 10)
    width, height, _, bits = struct.unpack_from("<iiHH", data, 18)
    if bits != 24:
        raise ValueError("not a 24-bit BMP")
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in range(abs(height)):
        source = y if height < 0 else abs(height) - 1 - y
        start = offset + source * stride
        row = data[start:start + width * 3]
        rows.append(bytes(v for i in range(0, len(row), 3) for v in (row[i + 2], row[i + 1], row[i])))
    return width, abs(height), rows


def write_png(path, width, height, rows):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    raw = b"".join(b"\0" + row for row in rows)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
                chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def read_png(path):
    """Reads the RGB pictures that write_png makes (no filters)."""
    with open(path, "rb") as f:
        data = f.read()
    pos, idat, width, height = 8, b"", 0, 0
    while pos < len(data):
        length, = struct.unpack_from(">I", data, pos)
        kind = data[pos + 4:pos + 8]
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height = struct.unpack_from(">II", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw = zlib.decompress(idat)
    stride = width * 3 + 1
    rows = []
    for y in range(height):
        if raw[y * stride] != 0:
            raise ValueError("filtered PNG rows are not expected here")
        rows.append(raw[y * stride + 1:(y + 1) * stride])
    return width, height, rows


def check_all_fonts(bin_dir):
    bmp = os.path.join(bin_dir, "text_all_fonts.bmp")
    if os.path.exists(bmp):
        os.remove(bmp)
    r = vt.run_guest(os.path.join(bin_dir, "text_all_fonts.hex"), ["--quiet", "--dump-memory", "0x1000:1"],
                     cwd=bin_dir)
    vt.expect_equal("exit", r.exit_code, vt.EXIT_FAULT, r)
    vt.expect_equal("save status", r.byte(0x1000) if r.exit_code == vt.EXIT_FAULT else -1, 0, r)
    if not os.path.exists(bmp):
        vt.expect(False, "no picture saved", r)
        return
    picture = read_bmp(bmp)
    if os.environ.get("VELMORA_UPDATE_GOLDEN") == "1":
        write_png(GOLDEN, *picture)
        return
    golden = read_png(GOLDEN)
    if picture != golden:
        actual = os.path.join(bin_dir, "text_all_fonts.actual.png")
        write_png(actual, *picture)
        vt.expect(False, "the glyph picture differs from %s; see %s" % (GOLDEN, actual))


def main():
    _, rest = vt.setup(sys.argv)
    bin_dir, which = rest
    {"services": check_services, "all_fonts": check_all_fonts}[which](bin_dir)
    vt.finish()


if __name__ == "__main__":
    main()
