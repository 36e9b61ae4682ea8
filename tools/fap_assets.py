#!/usr/bin/env python3
"""What a package carries besides code: image frames, the icon table source and the manifest.

Standard library only (zlib for PNG), so the package build needs nothing beyond python3.

    fap_assets.py icons --appid ID --out DIR [--size-bytes 1|2] IMAGES_DIR
        writes DIR/<ID>_icons.c: `const Icon I_<name>` for every <name>.png ('-' becomes '_'),
        one frame each in the firmware's image form; --size-bytes is sizeof(Icon.width) at the
        SDK built against (a static assertion in the source checks it)
    fap_assets.py manifest --fam FILE --api-table CSV --out FILE
        writes the 85-byte .fapmeta section for the application.fam (name, stack size,
        fap_version, fap_icon) and the API version of the table's `Version` row
    fap_assets.py frame PNG
        prints the PNG's frame bytes in hex, and its raw rows

Image frames: `00` + raw rows, or `01 00 <u16 length>` + heatshrink (window 2^8, lookahead 2^4)
when that is shorter. Raw rows are ceil(width / 8) bytes, the leftmost pixel in the lowest bit,
a set bit a dark pixel (opaque, luminance below half).
"""

from __future__ import annotations

import argparse
import ast
import csv
import re
import struct
import sys
import zlib
from dataclasses import dataclass
from pathlib import Path

# ----------------------------------------------------------------------------------------------
# PNG


class AssetError(Exception):
    """A bad input file: the message names the file and what is wrong."""


@dataclass
class Bitmap:
    width: int
    height: int
    rows: bytes  # ceil(width / 8) bytes per row, leftmost pixel in bit 0, 1 = dark


def _paeth(a: int, b: int, c: int) -> int:
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def ink(r: int, g: int, b: int, alpha: int) -> bool:
    """Whether a pixel (8-bit samples) is a set bit: the host's rule, host/png_ink.h."""
    return alpha >= 128 and (r * 299 + g * 587 + b * 114) // 1000 < 128


def read_png(path: Path) -> Bitmap:
    """Decodes a non-interlaced PNG of any colour type and bit depth into a one-bit bitmap."""
    data = Path(path).read_bytes()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise AssetError(f"{path}: not a PNG file")
    pos, header, palette, trns, idat = 8, None, None, None, bytearray()
    while pos + 8 <= len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if len(body) != length or pos + 12 + length > len(data):
            raise AssetError(f"{path}: truncated PNG chunk {kind!r}")
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"PLTE":
            palette = [tuple(body[i:i + 3]) for i in range(0, len(body) - 2, 3)]
        elif kind == b"tRNS":
            trns = body
        elif kind == b"IDAT":
            idat += body
        elif kind == b"IEND":
            break
        pos += 12 + length
    if header is None:
        raise AssetError(f"{path}: PNG without a header chunk")
    width, height, depth, colour, _, _, interlace = header
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}.get(colour)
    if channels is None or depth not in (1, 2, 4, 8, 16) or (colour in (2, 4, 6) and depth < 8):
        raise AssetError(f"{path}: unsupported PNG colour type {colour} at depth {depth}")
    if interlace:
        raise AssetError(f"{path}: interlaced PNG: save it without interlacing")
    if not (1 <= width <= 0xFFFF and 1 <= height <= 0xFFFF):
        raise AssetError(f"{path}: {width}x{height} is not a valid image size")
    try:
        raw = zlib.decompress(bytes(idat))
    except zlib.error as err:
        raise AssetError(f"{path}: corrupt image data ({err})") from None
    bits_per_pixel = depth * channels
    stride = (width * bits_per_pixel + 7) // 8
    step = max(1, bits_per_pixel // 8)
    if len(raw) < (stride + 1) * height:
        raise AssetError(f"{path}: image data shorter than {width}x{height}")

    out_stride = (width + 7) // 8
    out = bytearray(out_stride * height)
    previous = bytearray(stride)
    maximum = (1 << depth) - 1

    def to8(value: int) -> int:
        return (value * 255 + maximum // 2) // maximum

    for y in range(height):
        start = y * (stride + 1)
        kind, line = raw[start], bytearray(raw[start + 1:start + 1 + stride])
        for i in range(stride):
            left = line[i - step] if i >= step else 0
            up = previous[i]
            up_left = previous[i - step] if i >= step else 0
            if kind == 1:
                line[i] = (line[i] + left) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + up) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + ((left + up) >> 1)) & 0xFF
            elif kind == 4:
                line[i] = (line[i] + _paeth(left, up, up_left)) & 0xFF
            elif kind != 0:
                raise AssetError(f"{path}: bad PNG filter {kind} on row {y}")
        previous = line

        def sample(x: int, channel: int) -> int:
            if depth >= 8:
                at = (x * channels + channel) * (depth // 8)
                return line[at] if depth == 8 else (line[at] << 8 | line[at + 1])
            bit = (x * channels + channel) * depth
            return (line[bit // 8] >> (8 - depth - bit % 8)) & maximum

        for x in range(width):
            alpha = 255
            if colour == 3:
                index = sample(x, 0)
                if palette is None or index >= len(palette):
                    raise AssetError(f"{path}: palette index {index} out of range")
                r, g, b = palette[index]
                if trns is not None and index < len(trns):
                    alpha = trns[index]
            else:
                values = [sample(x, c) for c in range(channels)]
                r, g, b = (to8(values[0 if colour in (0, 4) else c]) for c in range(3))
                if colour in (4, 6):
                    alpha = to8(values[-1])
                elif trns is not None:
                    key = struct.unpack(">H" if colour == 0 else ">HHH", trns[:2 * channels])
                    if tuple(values) == tuple(key):
                        alpha = 0
            if ink(r, g, b, alpha):
                out[y * out_stride + x // 8] |= 1 << (x % 8)
    return Bitmap(width, height, bytes(out))


# ----------------------------------------------------------------------------------------------
# heatshrink

WINDOW_BITS = 8
LOOKAHEAD_BITS = 4


def heatshrink_encode(data: bytes, window_bits: int = WINDOW_BITS,
                      lookahead_bits: int = LOOKAHEAD_BITS) -> bytes:
    """Compresses as heatshrink does: a bit stream, most significant bit first, of items
    `1` + 8-bit literal, or `0` + (distance - 1) in window_bits + (count - 1) in lookahead_bits;
    the last byte padded with zeros. The parse is the cheapest in bits (not greedy), and no
    back-reference reaches before the start of the data."""
    n = len(data)
    window, longest = 1 << window_bits, 1 << lookahead_bits
    literal_bits, reference_bits = 9, 1 + window_bits + lookahead_bits
    # The longest match at each position, with its distance.
    match_len, match_dist = [0] * n, [0] * n
    for i in range(n - 1):
        limit = min(longest, n - i)
        best, best_dist = 0, 0
        first, second = data[i], data[i + 1]
        for j in range(i - 1, max(-1, i - window - 1), -1):
            if data[j] != first or data[j + 1] != second:
                continue
            length = 2
            while length < limit and data[j + length] == data[i + length]:
                length += 1
            if length > best:
                best, best_dist = length, i - j
                if length == limit:
                    break
        match_len[i], match_dist[i] = best, best_dist
    # Cheapest encoding of the rest from each position.
    cost = [0] * (n + 1)
    choice = [1] * n
    for i in range(n - 1, -1, -1):
        cost[i], choice[i] = literal_bits + cost[i + 1], 1
        for length in range(2, match_len[i] + 1):
            c = reference_bits + cost[i + length]
            if c < cost[i]:
                cost[i], choice[i] = c, length

    out, acc, count = bytearray(), 0, 0

    def put(value: int, bits: int) -> None:
        nonlocal acc, count
        acc = (acc << bits) | value
        count += bits
        while count >= 8:
            count -= 8
            out.append((acc >> count) & 0xFF)
        acc &= (1 << count) - 1

    i = 0
    while i < n:
        if choice[i] == 1:
            put(1, 1)
            put(data[i], 8)
            i += 1
        else:
            put(0, 1)
            put(match_dist[i] - 1, window_bits)
            put(choice[i] - 1, lookahead_bits)
            i += choice[i]
    if count:
        put(0, 8 - count)
    return bytes(out)


def heatshrink_decode(data: bytes, window_bits: int = WINDOW_BITS,
                      lookahead_bits: int = LOOKAHEAD_BITS, limit: int = 1 << 20) -> bytes:
    """Decompresses a heatshrink stream; padding at the end (an item cut short) is ignored, as
    the firmware's decoder does. A back-reference before the start reads zeros (the decoder's
    window starts zero-filled). Raises ValueError past `limit` bytes of output."""
    out = bytearray()
    total_bits, pos = len(data) * 8, 0

    def get(bits: int) -> int | None:
        nonlocal pos
        if pos + bits > total_bits:
            return None
        value = 0
        for _ in range(bits):
            value = (value << 1) | ((data[pos // 8] >> (7 - pos % 8)) & 1)
            pos += 1
        return value

    while True:
        tag = get(1)
        if tag is None:
            break
        if tag:
            literal = get(8)
            if literal is None:
                break
            out.append(literal)
        else:
            distance = get(window_bits)
            count = get(lookahead_bits) if distance is not None else None
            if count is None:
                break
            distance, count = distance + 1, count + 1
            for _ in range(count):
                out.append(out[-distance] if distance <= len(out) else 0)
        if len(out) > limit:
            raise ValueError(f"decompresses to more than {limit} bytes")
    return bytes(out)


def encode_frame(raw: bytes) -> bytes:
    """The firmware's image form: `01 00 <u16 length>` + heatshrink when shorter than `00` + raw."""
    packed = heatshrink_encode(raw)
    if len(packed) <= 0xFFFF and 4 + len(packed) < 1 + len(raw):
        return b"\x01\x00" + struct.pack("<H", len(packed)) + packed
    return b"\x00" + raw


def decode_frame(frame: bytes, size: int) -> bytes:
    """The raw rows of a frame in the firmware's image form (`size` bytes expected)."""
    if not frame:
        raise ValueError("empty image frame")
    if frame[0] == 0:
        raw = frame[1:1 + size]
    elif frame[0] == 1:
        if len(frame) < 4:
            raise ValueError("compressed image frame shorter than its header")
        (length,) = struct.unpack_from("<H", frame, 2)
        if 4 + length > len(frame):
            raise ValueError(f"compressed image frame says {length} bytes, has {len(frame) - 4}")
        raw = heatshrink_decode(frame[4:4 + length], limit=size)[:size]
    else:
        raise ValueError(f"image frame kind {frame[0]} (0 raw, 1 compressed)")
    if len(raw) < size:
        raise ValueError(f"image frame holds {len(raw)} of {size} bytes")
    return raw


# ----------------------------------------------------------------------------------------------
# application.fam


def read_fam(path: Path) -> dict:
    """The keywords of the App(...) call of an application.fam, evaluated without running it:
    literals, lists, + - * on numbers, and FlipperAppType.X (as the string "X")."""

    def value(node: ast.AST):
        if isinstance(node, ast.Constant):
            return node.value
        if isinstance(node, (ast.List, ast.Tuple)):
            return [value(e) for e in node.elts]
        if isinstance(node, ast.Attribute):
            return node.attr
        if isinstance(node, ast.BinOp) and isinstance(node.op, (ast.Add, ast.Sub, ast.Mult)):
            left, right = value(node.left), value(node.right)
            if isinstance(node.op, ast.Add):
                return left + right
            return left - right if isinstance(node.op, ast.Sub) else left * right
        raise AssetError(f"{path}:{node.lineno}: cannot evaluate {ast.unparse(node)}")

    try:
        tree = ast.parse(Path(path).read_text(), str(path))
    except (OSError, SyntaxError, ValueError) as err:
        raise AssetError(f"{path}: {err}") from None
    for node in ast.walk(tree):
        if isinstance(node, ast.Call) and getattr(node.func, "id", None) == "App":
            return {k.arg: value(k.value) for k in node.keywords if k.arg}
    raise AssetError(f"{path}: no App(...) in it")


# ----------------------------------------------------------------------------------------------
# The manifest

MANIFEST_MAGIC = 0x52474448
MANIFEST_VERSION = 1
MANIFEST_SIZE = 85
HARDWARE_TARGET = 7
MANIFEST_FORMAT = "<IIIHHI32sB32s"
assert struct.calcsize(MANIFEST_FORMAT) == MANIFEST_SIZE


def parse_version(text: str, what: str) -> tuple[int, int]:
    match = re.fullmatch(r"(\d+)\.(\d+)", str(text).strip())
    if not match or int(match[1]) > 0xFFFF or int(match[2]) > 0xFFFF:
        raise AssetError(f"{what}: '{text}' is not a version MAJOR.MINOR")
    return int(match[1]), int(match[2])


def table_version(csv_path: Path) -> tuple[int, int]:
    """The API version of a symbol table: its `Version,+,MAJOR.MINOR` row."""
    try:
        with open(csv_path, newline="") as f:
            for row in csv.reader(f):
                if len(row) >= 3 and row[0] == "Version":
                    return parse_version(row[2], f"{csv_path}: Version row")
    except OSError as err:
        raise AssetError(f"{csv_path}: {err.strerror}") from None
    raise AssetError(f"{csv_path}: no Version row")


def build_manifest(fam_path: Path, api: tuple[int, int]) -> bytes:
    fam = read_fam(fam_path)
    name = str(fam.get("name", fam.get("appid", "")))
    encoded = name.encode()
    if not encoded or len(encoded) > 31:
        raise AssetError(f"{fam_path}: name '{name}' must be 1 to 31 bytes")
    stack = fam.get("stack_size", 2048)
    if not isinstance(stack, int) or not 1 <= stack <= 0xFFFF:
        raise AssetError(f"{fam_path}: stack_size {stack} is not 1..65535 (0 would mark a plugin)")
    version = parse_version(fam.get("fap_version", "0.1"), f"{fam_path}: fap_version")
    icon = b""
    if fam.get("fap_icon"):
        bitmap = read_png(Path(fam_path).parent / fam["fap_icon"])
        if (bitmap.width, bitmap.height) != (10, 10):
            raise AssetError(f"{fam_path}: fap_icon is {bitmap.width}x{bitmap.height}; the manifest holds 10x10")
        icon = encode_frame(bitmap.rows)
    return struct.pack(MANIFEST_FORMAT, MANIFEST_MAGIC, MANIFEST_VERSION, api[0] << 16 | api[1],
                       HARDWARE_TARGET, stack, version[0] << 16 | version[1], encoded,
                       1 if icon else 0, icon)


@dataclass
class Manifest:
    magic: int
    version: int
    api: tuple[int, int]
    target: int
    stack: int
    app_version: tuple[int, int]
    name: str
    has_icon: bool
    icon: bytes


def parse_manifest(data: bytes) -> Manifest:
    """Reads the first 85 bytes (the caller checks the length)."""
    magic, version, api, target, stack, app_version, name, has_icon, icon = struct.unpack(
        MANIFEST_FORMAT, data[:MANIFEST_SIZE])
    return Manifest(magic, version, (api >> 16, api & 0xFFFF), target, stack,
                    (app_version >> 16, app_version & 0xFFFF),
                    name.split(b"\0", 1)[0].decode(errors="replace"), bool(has_icon), icon)


# ----------------------------------------------------------------------------------------------
# The icon table source


def icon_symbol(png: Path) -> str:
    symbol = "I_" + png.stem.replace("-", "_")
    if not re.fullmatch(r"[A-Za-z_]\w*", symbol):
        raise AssetError(f"{png}: '{png.stem}' does not make a C name (letters, digits, '_' and '-' only)")
    return symbol


def icons_source(appid: str, images: Path, size_bytes: int) -> str:
    lines = [f"/* Generated by tools/fap_assets.py from {images.name}/: do not edit. */",
             f'#include "{appid}_icons.h"', "", "#include <gui/icon_i.h>", "#include <stdint.h>", ""]
    limit = (1 << (8 * size_bytes)) - 1
    pngs = sorted(p for p in images.glob("*.png") if p.is_file()) if images.is_dir() else []
    for png in pngs:
        symbol, bitmap = icon_symbol(png), read_png(png)
        if bitmap.width > limit or bitmap.height > limit:
            raise AssetError(f"{png}: {bitmap.width}x{bitmap.height} does not fit a {size_bytes}-byte Icon size")
        size = re.search(r"_(\d+)x(\d+)$", png.stem)
        if size and (int(size[1]), int(size[2])) != (bitmap.width, bitmap.height):
            raise AssetError(f"{png}: the name says {size[1]}x{size[2]} but the image is "
                             f"{bitmap.width}x{bitmap.height}")
        frame = encode_frame(bitmap.rows)
        body = ",\n".join("    " + ", ".join(f"0x{b:02X}" for b in frame[i:i + 16])
                          for i in range(0, len(frame), 16))
        lines += [f"/* {bitmap.width}x{bitmap.height}, {len(bitmap.rows)} bytes raw, "
                  f"{len(frame)} in the package */",
                  f"static const uint8_t {symbol}_0[] = {{\n{body}}};",
                  f"static const uint8_t* const {symbol}_frames[] = {{{symbol}_0}};",
                  f"const Icon {symbol} = {{{bitmap.width}, {bitmap.height}, 1, 0, {symbol}_frames}};",
                  ""]
    lines += [f'_Static_assert(sizeof(((const Icon*)0)->width) == {size_bytes}, '
              f'"Icon sizes are {size_bytes}-byte at the SDK built against: check its gui/icon_i.h");', ""]
    return "\n".join(lines)


def write_if_changed(path: Path, content: bytes) -> None:
    if not path.exists() or path.read_bytes() != content:
        path.write_bytes(content)


def main(argv: list[str]) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0],
                                     formatter_class=argparse.RawDescriptionHelpFormatter,
                                     epilog=__doc__.split("\n\n", 1)[1])
    sub = parser.add_subparsers(dest="command", required=True)
    icons = sub.add_parser("icons", help="write <appid>_icons.c")
    icons.add_argument("--appid", required=True)
    icons.add_argument("--out", required=True, type=Path)
    icons.add_argument("--size-bytes", type=int, choices=(1, 2), default=1)
    icons.add_argument("images", type=Path)
    manifest = sub.add_parser("manifest", help="write the 85-byte .fapmeta")
    manifest.add_argument("--fam", required=True, type=Path)
    manifest.add_argument("--api-table", required=True, type=Path)
    manifest.add_argument("--out", required=True, type=Path)
    frame = sub.add_parser("frame", help="print a PNG's frame bytes")
    frame.add_argument("png", type=Path)
    args = parser.parse_args(argv)
    try:
        if args.command == "icons":
            if not re.fullmatch(r"[a-z0-9_]+", args.appid):
                raise AssetError(f"appid '{args.appid}' must match ^[a-z0-9_]+$")
            source = icons_source(args.appid, args.images, args.size_bytes)
            args.out.mkdir(parents=True, exist_ok=True)
            write_if_changed(args.out / f"{args.appid}_icons.c", source.encode())
        elif args.command == "manifest":
            data = build_manifest(args.fam, table_version(args.api_table))
            write_if_changed(args.out, data)
        else:
            bitmap = read_png(args.png)
            print(f"{bitmap.width}x{bitmap.height}: {encode_frame(bitmap.rows).hex(' ')}")
            stride = (bitmap.width + 7) // 8
            for y in range(bitmap.height):
                print(bitmap.rows[y * stride:(y + 1) * stride].hex(" "))
    except (AssetError, OSError) as err:
        print(f"fap_assets: {err}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
