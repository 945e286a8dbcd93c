#!/usr/bin/env python3
"""A screenshot of the uploader's window: the X server's screen (xwd, 24/32
bits a pixel, TrueColor) cut to the window's rectangle, which the window
writes into its probe file, and saved as PNG with the standard library alone.

usage: window_screenshot.py DISPLAY PROBE_DIR OUT.png
"""
import re
import subprocess
import struct
import sys
import zlib


def read_xwd(data):
    fields = struct.unpack(">25I", data[:100])
    header_size, version = fields[0], fields[1]
    if version != 7:
        raise ValueError("not an X11 window dump (version %d)" % version)
    width, height = fields[4], fields[5]
    byte_order, bits_per_pixel, bytes_per_line = fields[7], fields[11], fields[12]
    red_mask, green_mask, blue_mask = fields[14], fields[15], fields[16]
    ncolors = fields[19]
    if bits_per_pixel not in (24, 32):
        raise ValueError("%d bits a pixel is not handled" % bits_per_pixel)
    offset = header_size + ncolors * 12
    step = bits_per_pixel // 8
    if len(data) < offset + bytes_per_line * height:
        raise ValueError("the dump is cut short")

    def shift(mask):
        return (mask & -mask).bit_length() - 1

    shifts = [shift(m) for m in (red_mask, green_mask, blue_mask)]
    endian = "little" if byte_order == 0 else "big"
    rows = []
    for y in range(height):
        line = data[offset + y * bytes_per_line: offset + y * bytes_per_line + width * step]
        row = bytearray()
        for x in range(0, width * step, step):
            p = int.from_bytes(line[x:x + step], endian)
            row += bytes(((p >> shifts[0]) & 255, (p >> shifts[1]) & 255, (p >> shifts[2]) & 255))
        rows.append(row)
    return width, height, rows


def write_png(path, rows, x, y, w, h):
    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    raw = b"".join(b"\0" + bytes(rows[r][x * 3:(x + w) * 3]) for r in range(y, y + h))
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(raw, 6)))
        f.write(chunk(b"IEND", b""))


def save_region(xwd_bytes, path, x, y, w, h):
    width, height, rows = read_xwd(xwd_bytes)
    x, y = max(0, x), max(0, y)
    w, h = min(w, width - x), min(h, height - y)
    if w <= 0 or h <= 0:
        raise ValueError("the rectangle lies off the screen")
    write_png(path, rows, x, y, w, h)


def window_rect(probe_dir):
    try:
        with open(probe_dir + "/state.txt", encoding="utf-8") as f:
            m = re.search(r"window shown=1 .*rect=(-?\d+),(-?\d+),(\d+)x(\d+)", f.read())
    except FileNotFoundError:
        return None
    return tuple(int(v) for v in m.groups()) if m else None


def screenshot(display, probe_dir, path):
    """True when the window was on screen and its picture was written."""
    rect = window_rect(probe_dir)
    if rect is None:
        return False
    dump = subprocess.run(["xwd", "-root", "-silent", "-display", display], capture_output=True)
    if dump.returncode != 0:
        return False
    save_region(dump.stdout, path, *rect)
    return True


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    sys.exit(0 if screenshot(*sys.argv[1:]) else 1)
