#!/usr/bin/env python3
"""Draws corvane's images and package icon as one-bit PNGs.

Each picture is built from a few plain shapes (lines, boxes, circles, arcs) on a grid of pixels,
so it stays crisp on the 128x64 screen. The popups draw their text next to the pictures, so each
picture keeps the corner where its popup puts the text empty. Standard library only.

    tools/corvane_images.py [--out DIR] [--preview DIR]

--out defaults to corvane/images (the package icon goes to corvane/icon.png); --preview also
writes every picture four times larger, for looking at.
"""
import argparse
import math
import os
import struct
import sys
import zlib


class Bitmap:
    def __init__(self, width, height):
        self.width = width
        self.height = height
        self.rows = [[False] * width for _ in range(height)]

    def set(self, x, y, on=True):
        x, y = int(round(x)), int(round(y))
        if 0 <= x < self.width and 0 <= y < self.height:
            self.rows[y][x] = on

    def line(self, x0, y0, x1, y1, on=True):
        x0, y0, x1, y1 = int(x0), int(y0), int(x1), int(y1)
        dx, dy = abs(x1 - x0), -abs(y1 - y0)
        sx, sy = (1 if x0 < x1 else -1), (1 if y0 < y1 else -1)
        err = dx + dy
        while True:
            self.set(x0, y0, on)
            if x0 == x1 and y0 == y1:
                return
            e2 = 2 * err
            if e2 >= dy:
                err += dy
                x0 += sx
            if e2 <= dx:
                err += dx
                y0 += sy

    def rect(self, x, y, w, h, on=True):
        self.line(x, y, x + w - 1, y, on)
        self.line(x, y + h - 1, x + w - 1, y + h - 1, on)
        self.line(x, y, x, y + h - 1, on)
        self.line(x + w - 1, y, x + w - 1, y + h - 1, on)

    def fill(self, x, y, w, h, on=True):
        for yy in range(y, y + h):
            for xx in range(x, x + w):
                self.set(xx, yy, on)

    def round_rect(self, x, y, w, h, r, on=True):
        self.line(x + r, y, x + w - 1 - r, y, on)
        self.line(x + r, y + h - 1, x + w - 1 - r, y + h - 1, on)
        self.line(x, y + r, x, y + h - 1 - r, on)
        self.line(x + w - 1, y + r, x + w - 1, y + h - 1 - r, on)
        self.arc(x + r, y + r, r, 180, 270, on)
        self.arc(x + w - 1 - r, y + r, r, 270, 360, on)
        self.arc(x + r, y + h - 1 - r, r, 90, 180, on)
        self.arc(x + w - 1 - r, y + h - 1 - r, r, 0, 90, on)

    def arc(self, cx, cy, r, start, end, on=True):
        """Degrees, clockwise on screen from the positive x axis (y grows downwards)."""
        steps = max(8, int(abs(end - start) * r / 12))
        last = None
        for i in range(steps + 1):
            a = math.radians(start + (end - start) * i / steps)
            p = (int(round(cx + r * math.cos(a))), int(round(cy + r * math.sin(a))))
            if last is not None and p != last:
                self.line(last[0], last[1], p[0], p[1], on)
            last = p
        if last is not None:
            self.set(last[0], last[1], on)

    def circle(self, cx, cy, r, on=True):
        self.arc(cx, cy, r, 0, 360, on)

    def disc(self, cx, cy, r, on=True):
        for y in range(int(cy - r), int(cy + r) + 1):
            for x in range(int(cx - r), int(cx + r) + 1):
                if (x - cx) ** 2 + (y - cy) ** 2 <= r * r + r * 0.6:
                    self.set(x, y, on)

    def ellipse(self, cx, cy, rx, ry, start=0, end=360, on=True):
        steps = max(16, int(abs(end - start) * max(rx, ry) / 12))
        last = None
        for i in range(steps + 1):
            a = math.radians(start + (end - start) * i / steps)
            p = (int(round(cx + rx * math.cos(a))), int(round(cy + ry * math.sin(a))))
            if last is not None and p != last:
                self.line(last[0], last[1], p[0], p[1], on)
            last = p

    def fill_ellipse(self, cx, cy, rx, ry, on=True):
        for y in range(int(cy - ry), int(cy + ry) + 1):
            for x in range(int(cx - rx), int(cx + rx) + 1):
                if ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0:
                    self.set(x, y, on)

    def polygon(self, points, on=True):
        for (x0, y0), (x1, y1) in zip(points, points[1:] + points[:1]):
            self.line(x0, y0, x1, y1, on)

    def fill_polygon(self, points, on=True):
        ys = [p[1] for p in points]
        for y in range(int(min(ys)), int(max(ys)) + 1):
            xs = []
            for (x0, y0), (x1, y1) in zip(points, points[1:] + points[:1]):
                if (y0 <= y < y1) or (y1 <= y < y0):
                    xs.append(x0 + (y - y0) * (x1 - x0) / (y1 - y0))
            xs.sort()
            for a, b in zip(xs[::2], xs[1::2]):
                for x in range(int(math.ceil(a)), int(math.floor(b)) + 1):
                    self.set(x, y, on)
        self.polygon(points, on)

    def empty(self, x, y, w, h):
        """True when nothing is drawn in the box (the popup's text goes there)."""
        return not any(self.rows[yy][xx] for yy in range(y, min(y + h, self.height))
                       for xx in range(x, min(x + w, self.width)))


# --- the pictures ------------------------------------------------------------------------------

def draw_reader(b, x, y):
    """A handheld with the reader module on its top edge; (x, y) is the body's top left."""
    b.round_rect(x, y, 40, 30, 4)                 # the handheld
    b.round_rect(x + 4, y + 4, 22, 14, 1)         # its screen
    b.line(x + 7, y + 9, x + 14, y + 9)           # a line of text on it
    b.line(x + 7, y + 12, x + 19, y + 12)
    b.circle(x + 32, y + 12, 3)                   # the keypad's ring
    b.set(x + 32, y + 12)
    b.disc(x + 32, y + 22, 1)                     # the back key
    b.line(x + 5, y + 22, x + 24, y + 22)         # grip lines
    b.line(x + 5, y + 25, x + 24, y + 25)
    # The module on top, wired to the pins: a board with its antenna patch.
    b.rect(x + 6, y - 14, 28, 15)
    b.fill(x + 6, y - 14, 28, 3)
    b.rect(x + 11, y - 9, 18, 8)
    b.rect(x + 14, y - 7, 12, 4)
    for px in range(x + 9, x + 32, 3):
        b.set(px, y + 1)


def draw_tag(b, x, y, w=28, h=18):
    """A tag: a card with its chip and the antenna coil around it."""
    b.round_rect(x, y, w, h, 2)
    b.rect(x + 3, y + 3, w - 6, h - 6)
    b.rect(x + 5, y + 5, w - 10, h - 10)
    b.fill(x + w // 2 - 2, y + h // 2 - 2, 4, 4)
    b.line(x + w // 2 - 2, y + h // 2, x + 5, y + h // 2)


def draw_waves(b, cx, cy, radii, start, end):
    for r in radii:
        b.arc(cx, cy, r, start, end)


def arrow_head(b, x, y, direction):
    """A filled arrow head whose tip is at (x, y), pointing up-right (+1) or down-left (-1)."""
    if direction > 0:
        b.fill_polygon([(x, y), (x - 7, y + 1), (x - 1, y + 7)])
    else:
        b.fill_polygon([(x, y), (x + 7, y - 1), (x + 1, y - 7)])


def rfid_receive():
    b = Bitmap(97, 61)
    draw_reader(b, 2, 29)
    draw_tag(b, 64, 1)
    # Replies travel from the tag down to the module.
    draw_waves(b, 64, 19, (8, 14, 20), 105, 165)
    b.line(56, 16, 41, 22)
    arrow_head(b, 41, 22, -1)
    return b


def rfid_send():
    b = Bitmap(97, 61)
    draw_reader(b, 2, 29)
    draw_tag(b, 64, 1)
    # The module sends out to the tag.
    draw_waves(b, 26, 13, (8, 14, 20), -75, -15)
    b.line(42, 20, 58, 13)
    arrow_head(b, 58, 13, +1)
    return b


def pleased_figure():
    """A round figure beaming, one hand raised; the top left stays free for "Saved!"."""
    b = Bitmap(96, 59)
    cx, cy = 54, 24
    b.circle(cx, cy, 19)
    # Closed, smiling eyes and a broad smile.
    b.arc(cx - 7, cy - 2, 4, 200, 340)
    b.arc(cx + 7, cy - 2, 4, 200, 340)
    b.arc(cx, cy + 2, 10, 20, 160)
    b.line(cx - 9, cy + 6, cx + 9, cy + 6)
    b.arc(cx - 13, cy + 5, 2, 0, 360)
    b.arc(cx + 13, cy + 5, 2, 0, 360)
    # Shoulders and body down to the bottom edge.
    b.arc(cx, cy + 46, 24, 200, 340)
    # The raised arm on the right, with a thumb up.
    b.line(cx + 15, 50, cx + 28, cy + 15)
    b.line(cx + 20, 53, cx + 35, cy + 15)
    b.round_rect(cx + 27, cy + 4, 10, 11, 2)
    b.fill(cx + 30, cy - 4, 3, 9)
    # Sparkles of delight.
    for sx, sy in ((20, 40), (88, 6), (86, 40)):
        b.line(sx - 2, sy, sx + 2, sy)
        b.line(sx, sy - 2, sx, sy + 2)
    return b


def stern_figure():
    """A figure in a brimmed hat and dark glasses, mouth set straight; the top right stays free
    for "Deleted"."""
    b = Bitmap(115, 62)
    cx, cy = 44, 30
    # The hat: brim, crown and band.
    b.fill_ellipse(cx, cy - 14, 27, 4)
    b.fill_polygon([(cx - 15, cy - 16), (cx - 12, cy - 28), (cx, cy - 25), (cx + 12, cy - 28),
                    (cx + 15, cy - 16)])
    b.line(cx - 14, cy - 19, cx + 14, cy - 19, on=False)
    # The face below the brim.
    b.arc(cx, cy - 8, 17, 0, 180)
    b.line(cx - 17, cy - 10, cx - 17, cy - 8)
    b.line(cx + 17, cy - 10, cx + 17, cy - 8)
    # Dark glasses and frowning brows.
    b.fill_polygon([(cx - 14, cy - 6), (cx - 2, cy - 6), (cx - 3, cy + 1), (cx - 12, cy + 1)])
    b.fill_polygon([(cx + 2, cy - 6), (cx + 14, cy - 6), (cx + 12, cy + 1), (cx + 3, cy + 1)])
    b.line(cx - 2, cy - 5, cx + 2, cy - 5)
    b.line(cx - 13, cy - 10, cx - 4, cy - 8)
    b.line(cx + 13, cy - 10, cx + 4, cy - 8)
    # A straight, firm mouth.
    b.line(cx - 6, cy + 6, cx + 6, cy + 6)
    b.line(cx - 6, cy + 7, cx + 6, cy + 7)
    # Suit with lapels and a tie.
    b.line(cx - 10, cy + 11, cx - 30, cy + 20)
    b.line(cx + 10, cy + 11, cx + 30, cy + 20)
    b.line(cx - 30, cy + 20, cx - 34, 61)
    b.line(cx + 30, cy + 20, cx + 34, 61)
    b.line(cx - 9, cy + 12, cx, 61)
    b.line(cx + 9, cy + 12, cx, 61)
    b.fill_polygon([(cx - 2, cy + 12), (cx + 2, cy + 12), (cx + 3, cy + 24), (cx, cy + 28),
                    (cx - 3, cy + 24)])
    # A bin beside him, lid closed: the file is gone.
    b.rect(88, 34, 18, 26)
    b.fill(86, 30, 22, 3)
    b.fill(93, 27, 8, 3)
    for x in (92, 97, 102):
        b.line(x, 37, x, 56)
    return b


def tag_icon():
    """The file browser's 10x10 icon of a saved tag: a card with chip and coil."""
    b = Bitmap(10, 10)
    b.rect(0, 1, 10, 8)
    b.rect(2, 3, 6, 4)
    b.fill(4, 4, 2, 2)
    return b


def package_icon():
    """The launcher's 10x10 icon: a reader module sending waves."""
    b = Bitmap(10, 10)
    b.fill(0, 6, 4, 4)
    b.set(1, 7, False)
    b.set(2, 7, False)
    b.arc(2, 7, 3, -90, 0)
    b.arc(2, 7, 6, -90, 0)
    return b


IMAGES = {
    "RFIDDolphinReceive_97x61": rfid_receive,
    "RFIDDolphinSend_97x61": rfid_send,
    "DolphinNice_96x59": pleased_figure,
    "DolphinMafia_115x62": stern_figure,
    "Nfc_10px": tag_icon,
}

# Where each popup writes its text over its picture, in the picture's own coordinates.
TEXT_BOXES = {
    "RFIDDolphinReceive_97x61": (66, 26, 31, 35),
    "RFIDDolphinSend_97x61": (66, 26, 31, 35),
    "DolphinNice_96x59": (0, 0, 22, 18),
    "DolphinMafia_115x62": (81, 0, 34, 18),
}


# --- PNG ---------------------------------------------------------------------------------------

def png_chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def encode_png(bitmap, scale=1):
    width, height = bitmap.width * scale, bitmap.height * scale
    raw = bytearray()
    for row in bitmap.rows:
        line = bytearray()
        packed = nbits = 0
        for black in row:
            for _ in range(scale):
                # Greyscale, one bit: 0 is black; the leftmost pixel is the highest bit.
                packed = packed << 1 | (0 if black else 1)
                nbits += 1
                if nbits == 8:
                    line.append(packed)
                    packed = nbits = 0
        if nbits:
            line.append((packed << (8 - nbits)) | ((1 << (8 - nbits)) - 1))
        for _ in range(scale):
            raw.append(0)
            raw += line
    header = struct.pack(">IIBBBBB", width, height, 1, 0, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header) +
            png_chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + png_chunk(b"IEND", b""))


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", default=os.path.join(root, "corvane", "images"))
    parser.add_argument("--icon", default=os.path.join(root, "corvane", "icon.png"))
    parser.add_argument("--preview", help="also write 4x pictures into this folder")
    args = parser.parse_args()

    os.makedirs(args.out, exist_ok=True)
    pictures = {name: draw() for name, draw in IMAGES.items()}
    pictures_and_icon = dict(pictures)
    pictures_and_icon["icon"] = package_icon()
    status = 0
    for name, box in TEXT_BOXES.items():
        if not pictures[name].empty(*box):
            print(f"{name}: the popup's text area {box} is not empty", file=sys.stderr)
            status = 1
    for name, bitmap in pictures.items():
        with open(os.path.join(args.out, name + ".png"), "wb") as f:
            f.write(encode_png(bitmap))
    with open(args.icon, "wb") as f:
        f.write(encode_png(pictures_and_icon["icon"]))
    if args.preview:
        os.makedirs(args.preview, exist_ok=True)
        for name, bitmap in pictures_and_icon.items():
            scale = 16 if bitmap.width <= 10 else 4
            with open(os.path.join(args.preview, name + ".png"), "wb") as f:
                f.write(encode_png(bitmap, scale))
    return status


if __name__ == "__main__":
    sys.exit(main())
