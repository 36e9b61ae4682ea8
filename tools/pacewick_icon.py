#!/usr/bin/env python3
"""Writes pacewick's 10x10 package icon as a one-bit PNG.

The icon is kept as its 20 raw bytes: ten rows of two bytes, lowest bit leftmost, a set bit
being a black pixel. Standard library only, so it runs wherever python3 does.
"""
import argparse
import struct
import sys
import zlib

WIDTH = 10
HEIGHT = 10
ROWS = [
    0x77, 0x03, 0x11, 0x01, 0xDD, 0x01, 0x44, 0x00,
    0x77, 0x03, 0x11, 0x01, 0xDD, 0x01, 0x44, 0x00,
    0x77, 0x03, 0x11, 0x01,
]


def pixels():
    """Yields rows of booleans, True for a black (set) pixel."""
    for y in range(HEIGHT):
        bits = ROWS[2 * y] | (ROWS[2 * y + 1] << 8)
        yield [bool(bits >> x & 1) for x in range(WIDTH)]


def png_chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def encode_png():
    raw = bytearray()
    for row in pixels():
        raw.append(0)  # filter: none
        packed = 0
        nbits = 0
        line = bytearray()
        for black in row:
            # Greyscale, one bit: 0 is black, 1 is white; PNG packs the leftmost pixel highest.
            packed = packed << 1 | (0 if black else 1)
            nbits += 1
            if nbits == 8:
                line.append(packed)
                packed = nbits = 0
        if nbits:
            line.append(packed << (8 - nbits))
        raw += line
    header = struct.pack(">IIBBBBB", WIDTH, HEIGHT, 1, 0, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header)
            + png_chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + png_chunk(b"IEND", b""))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("-o", "--output", default="pacewick/icon.png",
                        help="PNG file to write (default: %(default)s)")
    parser.add_argument("--show", action="store_true", help="also print the icon as text")
    args = parser.parse_args()
    try:
        with open(args.output, "wb") as out:
            out.write(encode_png())
    except OSError as err:
        print(f"pacewick_icon: cannot write {args.output}: {err.strerror}", file=sys.stderr)
        return 1
    if args.show:
        for row in pixels():
            print("".join("#" if black else "." for black in row))
    return 0


if __name__ == "__main__":
    sys.exit(main())
