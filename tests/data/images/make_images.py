#!/usr/bin/env python3
"""Makes the BMP files the image tests read. Run it in this directory, with ImageMagick 6.9.

pattern.ppm is 5 x 3, so its BMP rows need one padding byte. This ImageMagick writes no 108-,
52- or 56-byte header, OS/2 64-byte header, RLE24 or top-down file, so those are built here from
the pixel rows of info40.bmp.
"""

import struct
import subprocess

WIDTH, HEIGHT = 5, 3


def pattern_pixel(x, y):
    """Red, green, blue of the pattern's pixel at column x, row y (row 0 at the top)."""
    return ((x * 50 + y * 7) % 256, (y * 80 + x) % 256, (x * y * 30 + 11) % 256)


def write_ppm(path, width, height, pixel):
    data = bytearray(b"P6 %d %d 255\n" % (width, height))
    for y in range(height):
        for x in range(width):
            data += bytes(pixel(x, y))
    open(path, "wb").write(data)


def convert(*args):
    subprocess.run(["convert"] + list(args), check=True)


def info_header(size, height=HEIGHT, compression=0, bits=24):
    """An info header of `size` bytes: the 40-byte fields, zeros after them."""
    fields = struct.pack("<IiiHHIIIIII", size, WIDTH, height, 1, bits, compression, 0, 0, 0, 0, 0)
    return (fields + bytes(max(0, size - len(fields))))[:max(size, len(fields))]


def bmp(info, rows):
    body = info + rows
    return b"BM" + struct.pack("<IHHI", 14 + len(body), 0, 0, 14 + len(info)) + body


def main():
    write_ppm("pattern.ppm", WIDTH, HEIGHT, pattern_pixel)
    write_ppm("gradient.ppm", 40, 2, lambda x, y: (x * 6, y * 100, 255 - x * 6))
    convert("pattern.ppm", "-alpha", "off", "-type", "TrueColor", "BMP2:core12.bmp")  # header 12
    convert("pattern.ppm", "-alpha", "off", "-type", "TrueColor", "BMP3:info40.bmp")  # header 40
    convert("pattern.ppm", "-alpha", "off", "-type", "TrueColor", "BMP:v5_124.bmp")  # header 124
    convert("pattern.ppm", "-alpha", "set", "-type", "TrueColorAlpha", "BMP:rgba32.bmp")
    convert("gradient.ppm", "-type", "Palette", "-compress", "None", "BMP3:pal8.bmp")
    convert("gradient.ppm", "-type", "Palette", "-compress", "RLE", "BMP3:rle8.bmp")

    info40 = open("info40.bmp", "rb").read()
    rows = info40[54:]  # bottom-up rows of 16 bytes
    row_size = len(rows) // HEIGHT
    open("v4_108.bmp", "wb").write(bmp(info_header(108), rows))
    open("v52.bmp", "wb").write(bmp(info_header(52, compression=3), rows))
    open("v56.bmp", "wb").write(bmp(info_header(56), rows))
    open("os2v2_64.bmp", "wb").write(bmp(info_header(64), rows))
    open("rle24.bmp", "wb").write(bmp(info_header(40, compression=1), rows))
    top_down = b"".join(rows[r * row_size:(r + 1) * row_size] for r in reversed(range(HEIGHT)))
    open("topdown.bmp", "wb").write(bmp(info_header(40, height=-HEIGHT), top_down))
    open("text.txt", "wb").write(b"This is a text file, not a picture.\r\n")


if __name__ == "__main__":
    main()
