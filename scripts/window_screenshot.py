#!/usr/bin/env python3
"""A screenshot of the uploader's window: the X server's screen (24/32 bits
a pixel, TrueColor, read through libX11) cut to the window's rectangle,
which the window writes into its probe file, and saved as PNG with the
standard library alone.

usage: window_screenshot.py DISPLAY PROBE_DIR OUT.png
"""
import ctypes
import ctypes.util
import re
import struct
import sys
import zlib


class _XImage(ctypes.Structure):
    # The leading fields of Xlib's XImage, as far as the colour masks.
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.POINTER(ctypes.c_ubyte)),
                ("byte_order", ctypes.c_int), ("bitmap_unit", ctypes.c_int),
                ("bitmap_bit_order", ctypes.c_int), ("bitmap_pad", ctypes.c_int),
                ("depth", ctypes.c_int), ("bytes_per_line", ctypes.c_int),
                ("bits_per_pixel", ctypes.c_int), ("red_mask", ctypes.c_ulong),
                ("green_mask", ctypes.c_ulong), ("blue_mask", ctypes.c_ulong)]


def grab_root(display):
    """The screen as (width, height, rows of RGB bytes), read with one
    XGetImage on the root window. Not xwd: where windows of another visual
    than the root's overlap, xwd reads their area through the lowest of them
    and returns black for what covers it (a dialog over the main window)."""
    x11 = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XDefaultRootWindow.restype = ctypes.c_ulong
    x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    x11.XGetGeometry.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong)] + \
        [ctypes.POINTER(ctypes.c_int)] * 2 + [ctypes.POINTER(ctypes.c_uint)] * 4
    x11.XGetImage.restype = ctypes.POINTER(_XImage)
    x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                              ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    connection = x11.XOpenDisplay(display.encode())
    if not connection:
        raise OSError("cannot open the display %s" % display)
    try:
        root = x11.XDefaultRootWindow(connection)
        ignored, size = ctypes.c_ulong(), [ctypes.c_uint() for _ in range(4)]
        at = [ctypes.c_int(), ctypes.c_int()]
        x11.XGetGeometry(connection, root, ctypes.byref(ignored), *map(ctypes.byref, at),
                         *map(ctypes.byref, size))
        width, height = size[0].value, size[1].value
        image = x11.XGetImage(connection, root, 0, 0, width, height, 0xFFFFFFFF, 2)  # ZPixmap
        if not image:
            raise OSError("the X server gave no image of the screen")
        im = image.contents
        if im.bits_per_pixel not in (24, 32):
            raise ValueError("%d bits a pixel is not handled" % im.bits_per_pixel)
        data = ctypes.string_at(im.data, im.bytes_per_line * height)
        step = im.bits_per_pixel // 8
        shifts = [(m & -m).bit_length() - 1 for m in (im.red_mask, im.green_mask, im.blue_mask)]
        endian = "little" if im.byte_order == 0 else "big"
        rows = []
        for y in range(height):
            line = data[y * im.bytes_per_line: y * im.bytes_per_line + width * step]
            row = bytearray(width * 3)
            if endian == "little" and step == 4 and shifts == [16, 8, 0]:
                row[0::3], row[1::3], row[2::3] = line[2::4], line[1::4], line[0::4]
            else:
                for i, x in enumerate(range(0, width * step, step)):
                    p = int.from_bytes(line[x:x + step], endian)
                    row[i * 3:i * 3 + 3] = bytes((p >> s) & 255 for s in shifts)
            rows.append(row)
        if hasattr(x11, "XDestroyImage"):
            x11.XDestroyImage(image)
        return width, height, rows
    finally:
        x11.XCloseDisplay(connection)


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


def save_region(screen, path, x, y, w, h):
    width, height, rows = screen
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
    try:
        screen = grab_root(display)
    except OSError:
        return False
    save_region(screen, path, *rect)
    return True


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    sys.exit(0 if screenshot(*sys.argv[1:]) else 1)
