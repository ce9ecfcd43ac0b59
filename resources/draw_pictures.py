#!/usr/bin/env python3
"""Draws Pelumir's program icon (16 x 16 and 32 x 32, and the same pixels
enlarged for launchers: 48 from the 16, 64, 128 and 256 from the 32) and its
About box logo (73 x 34) as 4-bit palette PNG files, 16 colours each.

The pictures are committed; run this only to change them:
    python3 resources/draw_pictures.py resources/
No third-party modules: the PNG writer below is a few lines of zlib.
"""
import struct
import sys
import zlib
from pathlib import Path

# The classic 16-colour palette. Fuchsia doubles as the icon's transparent
# colour, as it did in 16-colour icon editors.
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
BLACK, MAROON, GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER = range(8)
GRAY, RED, LIME, YELLOW, BLUE, CLEAR, AQUA, WHITE = range(8, 16)


class Canvas:
    def __init__(self, w, h, fill):
        self.w, self.h = w, h
        self.px = [[fill] * w for _ in range(h)]

    def put(self, x, y, c):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y][x] = c

    def rect(self, x0, y0, x1, y1, c):
        """Filled rectangle, both corners inclusive."""
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.put(x, y, c)

    def frame(self, x0, y0, x1, y1, c):
        for x in range(x0, x1 + 1):
            self.put(x, y0, c)
            self.put(x, y1, c)
        for y in range(y0, y1 + 1):
            self.put(x0, y, c)
            self.put(x1, y, c)

    def disc(self, cx, cy, r, c):
        for y in range(self.h):
            for x in range(self.w):
                if (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2 <= r * r:
                    self.put(x, y, c)

    def triangle(self, apex, base_y, left, right, c, clip):
        """A mountain: apex (x, y) down to the base line, clipped to a box."""
        ax, ay = apex
        cx0, cy0, cx1, cy1 = clip
        for y in range(max(ay, cy0), min(base_y, cy1) + 1):
            t = (y - ay + 0.5) / (base_y - ay + 1)
            xl = ax + (left - ax) * t
            xr = ax + (right - ax) * t
            for x in range(max(cx0, int(xl + 0.5)), min(cx1, int(xr - 0.5)) + 1):
                self.put(x, y, c)


def landscape(cv, x0, y0, x1, y1):
    """Our motif: sun over two hills, inside the box (inclusive)."""
    w, h = x1 - x0 + 1, y1 - y0 + 1
    clip = (x0, y0, x1, y1)
    cv.rect(x0, y0, x1, y1, AQUA)
    cv.disc(x0 + w * 0.75, y0 + h * 0.27, max(1.3, w * 0.14), YELLOW)
    ground = y0 + int(h * 0.78)
    peak = (x0 + int(w * 0.32), y0 + int(h * 0.25))
    cv.triangle(peak, ground, x0 - w // 3, x0 + int(w * 0.85), GREEN, clip)
    snow = (x0, y0, x1, peak[1] + h // 7)  # a snow cap where there is room for one
    if h > 12:
        cv.triangle(peak, ground, x0 - w // 3, x0 + int(w * 0.85), WHITE, snow)
    cv.triangle((x0 + int(w * 0.78), y0 + int(h * 0.50)), ground, x0 + int(w * 0.40), x1 + w // 3, LIME, clip)
    cv.rect(x0, ground, x1, y1, GREEN)


def icon32():
    cv = Canvas(32, 32, CLEAR)
    # The slide behind: the next picture of the show.
    cv.rect(10, 2, 30, 22, SILVER)
    cv.frame(10, 2, 30, 22, GRAY)
    cv.rect(12, 4, 28, 20, TEAL)
    # The picture in front, with a white mat and a shadow.
    cv.rect(2, 9, 25, 31, GRAY)
    cv.rect(1, 8, 24, 30, WHITE)
    cv.frame(1, 8, 24, 30, BLACK)
    landscape(cv, 4, 11, 21, 27)
    return cv


def icon16():
    cv = Canvas(16, 16, CLEAR)
    cv.rect(5, 0, 15, 10, SILVER)
    cv.frame(5, 0, 15, 10, GRAY)
    cv.rect(6, 1, 14, 9, TEAL)
    cv.rect(0, 4, 11, 15, WHITE)
    cv.frame(0, 4, 11, 15, BLACK)
    cv.rect(2, 6, 9, 13, AQUA)
    cv.rect(7, 7, 8, 8, YELLOW)
    cv.triangle((4, 8), 12, -1, 8, GREEN, (2, 6, 9, 13))
    cv.triangle((8, 10), 12, 5, 12, LIME, (2, 6, 9, 13))
    cv.rect(2, 12, 9, 13, GREEN)
    return cv


def sunset(cv, x0, y0, x1, y1):
    sea = y0 + (y1 - y0) * 3 // 5
    cv.rect(x0, y0, x1, sea - 1, RED)
    cv.rect(x0, y0, x1, y0 + 3, MAROON)
    cv.disc((x0 + x1 + 1) / 2, sea, 4.5, YELLOW)
    cv.rect(x0, sea, x1, y1, NAVY)
    for i, y in enumerate(range(sea + 2, y1, 3)):  # the sun's path on the water
        half = 3 - i
        if half > 0:
            cv.rect((x0 + x1) // 2 - half + 1, y, (x0 + x1) // 2 + half, y, YELLOW)


def night(cv, x0, y0, x1, y1):
    cv.rect(x0, y0, x1, y1, NAVY)
    cv.disc(x1 - 5, y0 + 5, 3.5, YELLOW)
    cv.disc(x1 - 3.5, y0 + 4, 3.2, NAVY)  # bite out of the moon
    for dx, dy in ((2, 2), (7, 4), (2, 7), (11, 2), (16, 10)):
        cv.put(x0 + dx, y0 + dy, WHITE)
    ground = y1 - 4
    cv.rect(x0, ground, x1, y1, GREEN)
    # A house with a lit window.
    cv.rect(x0 + 4, ground - 5, x0 + 10, ground, PURPLE)
    cv.triangle((x0 + 7, ground - 9), ground - 5, x0 + 2, x0 + 13, MAROON, (x0, y0, x1, y1))
    cv.rect(x0 + 6, ground - 3, x0 + 7, ground - 2, YELLOW)


def logo():
    """A strip of film holding three pictures: a show in one glance."""
    cv = Canvas(73, 34, BLACK)
    for x in range(2, 71, 6):  # sprocket holes
        cv.rect(x, 2, x + 2, 4, SILVER)
        cv.rect(x, 29, x + 2, 31, SILVER)
    frames = [(3, 23), (26, 46), (49, 69)]
    scenes = [landscape, sunset, night]
    for (x0, x1), scene in zip(frames, scenes):
        scene(cv, x0, 8, x1, 26)
    return cv


def enlarged(cv, factor):
    """Every pixel as a factor x factor square: the drawing stays crisp."""
    big = Canvas(cv.w * factor, cv.h * factor, CLEAR)
    big.px = [[c for c in row for _ in range(factor)] for row in cv.px for _ in range(factor)]
    return big


def write_png(path, cv, transparent):
    raw = bytearray()
    for row in cv.px:
        raw.append(0)  # filter: none
        padded = row + [0] * (len(row) % 2)
        for i in range(0, len(padded), 2):
            raw.append(padded[i] << 4 | padded[i + 1])

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", cv.w, cv.h, 4, 3, 0, 0, 0))
    png += chunk(b"PLTE", bytes(v for rgb in PALETTE for v in rgb))
    if transparent:
        png += chunk(b"tRNS", bytes([255] * CLEAR + [0]))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    png += chunk(b"IEND", b"")
    Path(path).write_bytes(png)


def main():
    out = Path(sys.argv[1] if len(sys.argv) > 1 else ".")
    write_png(out / "pelumir-16.png", icon16(), True)
    write_png(out / "pelumir-32.png", icon32(), True)
    write_png(out / "pelumir-48.png", enlarged(icon16(), 3), True)
    for factor in (2, 4, 8):
        write_png(out / f"pelumir-{32 * factor}.png", enlarged(icon32(), factor), True)
    write_png(out / "logo.png", logo(), False)


if __name__ == "__main__":
    main()
