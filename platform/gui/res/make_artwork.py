#!/usr/bin/env python3
"""Draws the wizard's artwork into PNG files (run once; the PNGs are kept in the tree).

501      program icon, 32 x 32: a sheet of cells with a database drum
311      watermark beside the welcome and finish pages, 164 x 314
312      header bitmap of the inner pages, 49 x 49
502-509  the eight frames of the "connecting" animation, 32 x 32
"""
import math
import struct
import zlib
from pathlib import Path


def png(path, w, h, pixels):
    raw = b"".join(b"\0" + bytes(v for p in pixels[y * w:(y + 1) * w] for v in p) for y in range(h))
    def chunk(kind, data):
        c = struct.pack(">I", len(data)) + kind + data
        return c + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    data = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0))
    data += chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")
    Path(path).write_bytes(data)


def canvas(w, h, colour=(0, 0, 0, 0)):
    return [colour] * (w * h)


def rect(px, w, x0, y0, x1, y1, colour):
    for y in range(y0, y1):
        for x in range(x0, x1):
            px[y * w + x] = colour


def drum(px, w, cx, top, rx, ry, height, body, rim):
    h = len(px) // w
    for y in range(h):
        for x in range(w):
            dx = (x - cx) / rx
            in_side = abs(dx) <= 1 and top <= y <= top + height
            bottom = (dx * dx + ((y - top - height) / ry) ** 2) <= 1
            lid = (dx * dx + ((y - top) / ry) ** 2) <= 1
            if lid:
                px[y * w + x] = rim
            elif in_side or bottom:
                px[y * w + x] = body


def sheet_of_cells(px, w, x0, y0, cols, rows, cell, line, fill, head):
    for r in range(rows):
        for c in range(cols):
            colour = head if r == 0 else fill
            rect(px, w, x0 + c * cell, y0 + r * cell, x0 + (c + 1) * cell, y0 + (r + 1) * cell, line)
            rect(px, w, x0 + c * cell + 1, y0 + r * cell + 1, x0 + (c + 1) * cell, y0 + (r + 1) * cell, colour)


GREEN = (33, 115, 70, 255)
PALE = (235, 245, 238, 255)
LINE = (120, 150, 130, 255)
BLUE = (38, 92, 160, 255)
LIGHT_BLUE = (110, 160, 220, 255)


def icon():
    w = h = 32
    px = canvas(w, h)
    sheet_of_cells(px, w, 1, 1, 4, 5, 5, LINE, PALE, GREEN)
    drum(px, w, 22, 14, 8, 3, 12, BLUE, LIGHT_BLUE)
    png("icon_501.png", w, h, px)


def watermark():
    w, h = 164, 314
    px = canvas(w, h)
    for y in range(h):
        t = y / (h - 1)
        colour = (int(20 + 30 * t), int(60 + 60 * t), int(120 + 80 * t), 255)
        for x in range(w):
            px[y * w + x] = colour
    sheet_of_cells(px, w, 22, 40, 5, 7, 14, (90, 130, 180, 255), (225, 236, 248, 255), GREEN)
    drum(px, w, 100, 170, 38, 12, 80, BLUE, LIGHT_BLUE)
    for i in range(3):  # bands on the drum
        y = 200 + i * 22
        for x in range(63, 138):
            px[y * w + x] = (28, 70, 130, 255)
    png("watermark_311.png", w, h, px)


def header():
    w = h = 49
    px = canvas(w, h)
    sheet_of_cells(px, w, 2, 4, 3, 4, 7, LINE, PALE, GREEN)
    drum(px, w, 34, 16, 12, 4, 22, BLUE, LIGHT_BLUE)
    png("header_312.png", w, h, px)


def animation():
    w = h = 32
    for frame in range(8):
        px = canvas(w, h)
        for k in range(8):
            a = 2 * math.pi * k / 8 - math.pi / 2
            cx, cy = 16 + 11 * math.cos(a), 16 + 11 * math.sin(a)
            bright = (k - frame) % 8 == 0
            colour = BLUE if bright else (180, 200, 225, 255)
            radius = 3.6 if bright else 2.6
            for y in range(h):
                for x in range(w):
                    if (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius:
                        px[y * w + x] = colour
        png(f"anim_{502 + frame}.png", w, h, px)


if __name__ == "__main__":
    icon()
    watermark()
    header()
    animation()
