#!/usr/bin/env python3
"""Draws the program's icon (128, in every size Explorer asks for) and device image strips
(132 to 135, one for each size the list chooses by DPI): a card reader with a card in its
slot. Run it to regenerate tolvarin.ico and devices*.bmp after a change."""
import struct
import zlib
from pathlib import Path

HERE = Path(__file__).resolve().parent
BODY, EDGE, CARD, CHIP, LED_OK, LED_BAD = (
    (60, 70, 90), (25, 30, 40), (240, 240, 235), (212, 175, 55), (40, 200, 70), (220, 50, 40))


def reader(size, led):
    """Returns rows (top first) of RGBA pixels for one reader picture."""
    px = [[(0, 0, 0, 0)] * size for _ in range(size)]
    s = size / 32.0

    def rect(x0, y0, x1, y1, colour):
        for y in range(int(y0 * s), int(y1 * s)):
            for x in range(int(x0 * s), int(x1 * s)):
                px[y][x] = colour + (255,)

    rect(8, 2, 24, 18, CARD)          # card standing in the slot
    rect(11, 5, 17, 10, CHIP)         # its contact chip
    rect(2, 14, 30, 30, EDGE)         # reader housing outline
    rect(3, 15, 29, 29, BODY)
    rect(6, 15, 26, 17, EDGE)         # the slot
    rect(22, 23, 27, 27, led)         # status light
    return px


def png(size, rows):
    """The picture as a PNG file (Explorer takes the 256-pixel image of an icon as PNG)."""
    raw = b"".join(b"\0" + bytes(c for px in row for c in px) for row in rows)

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def dib(size, rows):
    """The picture as a 32-bit icon image: header, colours bottom-up, an empty AND mask."""
    xor = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask_row = ((size + 31) // 32) * 4
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0,
                         len(xor) + mask_row * size, 0, 0, 0, 0)
    return header + xor + bytes(mask_row * size)


# Every size Explorer and the task bar ask for, at 100% to 200% scaling.
ICON_SIZES = (16, 20, 24, 32, 40, 48, 64, 256)


def write_ico(path):
    images = []
    for size in ICON_SIZES:
        rows = reader(size, LED_OK)
        images.append((size, png(size, rows) if size >= 256 else dib(size, rows)))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    path.write_bytes(out + b"".join(data for _, data in images))


# The device image strips, one for each size the list chooses by its window's DPI: 16
# pixels at 96 DPI, 20 at 120, 24 at 144, 32 at 192.
STRIP_SIZES = (16, 20, 24, 32)


def write_bmp(path, size):
    # Two square images side by side: a started device and any other status. White marks
    # the background for the image list's mask.
    key = (255, 255, 255)
    pics = [reader(size, LED_OK), reader(size, LED_BAD)]
    width = size * len(pics)
    stride = (width * 3 + 3) & ~3
    body = b""
    # The status light, large enough to tell at a glance: a fifth of the picture, bottom right.
    led = max(3, size // 5)

    def light(x, y, colour):
        inside = size - led - 1 <= x < size - 1 and size - led - 1 <= y < size - 1
        return colour + (255,) if inside else None

    for y in reversed(range(size)):
        row = b""
        for image, colour in zip(pics, (LED_OK, LED_BAD)):
            for x in range(size):
                r, g, b, a = light(x, y, colour) or image[y][x]
                row += bytes((b, g, r) if a else key[::-1])
        body += row + bytes(stride - len(row))
    info = struct.pack("<IiiHHIIiiII", 40, width, size, 1, 24, 0, len(body), 2835, 2835, 0, 0)
    path.write_bytes(struct.pack("<2sIHHI", b"BM", 14 + 40 + len(body), 0, 0, 54) + info + body)


if __name__ == "__main__":
    write_ico(HERE / "tolvarin.ico")
    for size in STRIP_SIZES:
        write_bmp(HERE / f"devices{size}.bmp", size)
