#!/usr/bin/env python3
"""Writes the windows on an X screen dump as a PNG: xwd-to-png.py <screen.xwd> <out.png>

The dump is Xvfb's framebuffer file (-fbdir), 32 bits a pixel. The picture is cut to the smallest
rectangle holding every pixel that differs from the desktop's colour, taken at the top left corner."""
import struct
import sys
import zlib


def read_dump(path):
    data = open(path, "rb").read()
    header = struct.unpack(">25I", data[:100])
    header_size, width, height = header[0], header[4], header[5]
    byte_order, bits_per_pixel, bytes_per_line, colours = header[7], header[11], header[12], header[19]
    if bits_per_pixel != 32:
        sys.exit(f"xwd-to-png: {bits_per_pixel} bits a pixel; only 32 are read")
    start = header_size + colours * 12
    rows = []
    for y in range(height):
        line = data[start + y * bytes_per_line : start + y * bytes_per_line + width * 4]
        pixels = [line[4 * x : 4 * x + 4] for x in range(width)]
        # Least significant byte first: blue, green, red.
        rows.append([(p[2], p[1], p[0]) if byte_order == 0 else (p[1], p[2], p[3]) for p in pixels])
    return rows


def cut_to_windows(rows):
    desktop = rows[0][0]
    used_rows = [y for y, row in enumerate(rows) if any(p != desktop for p in row)]
    if not used_rows:
        sys.exit("xwd-to-png: the screen shows no window")
    used_columns = [x for x in range(len(rows[0])) if any(rows[y][x] != desktop for y in used_rows)]
    return [row[used_columns[0] : used_columns[-1] + 1] for row in rows[used_rows[0] : used_rows[-1] + 1]]


def write_png(path, rows):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    raw = b"".join(b"\0" + bytes(value for pixel in row for value in pixel) for row in rows)
    header = struct.pack(">IIBBBBB", len(rows[0]), len(rows), 8, 2, 0, 0, 0)
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)))
        out.write(chunk(b"IEND", b""))


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: xwd-to-png.py <screen.xwd> <out.png>")
    write_png(sys.argv[2], cut_to_windows(read_dump(sys.argv[1])))
