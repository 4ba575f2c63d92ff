#!/usr/bin/env python3
"""Draws the program's icon (128) and device image strip (132): a card reader with a
card in its slot. Run it to regenerate tolvarin.ico and devices.bmp after a change."""
import struct
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


def write_ico(path):
    images = []
    for size in (32, 16):
        rows = reader(size, LED_OK)
        xor = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
        mask_row = ((size + 31) // 32) * 4
        header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0,
                             len(xor) + mask_row * size, 0, 0, 0, 0)
        images.append((size, header + xor + bytes(mask_row * size)))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    path.write_bytes(out + b"".join(data for _, data in images))


def write_bmp(path):
    # Two 16x16 images side by side: a working device and a failed one. Magenta marks
    # the background so an image list can mask it.
    size, count, key = 16, 2, (255, 0, 255)
    pics = [reader(size, LED_OK), reader(size, LED_BAD)]
    width = size * count
    stride = (width * 3 + 3) & ~3
    body = b""
    for y in reversed(range(size)):
        row = b""
        for pic in pics:
            for (r, g, b, a) in pic[y]:
                r, g, b = (r, g, b) if a else key
                row += bytes((b, g, r))
        body += row + bytes(stride - len(row))
    info = struct.pack("<IiiHHIIiiII", 40, width, size, 1, 24, 0, len(body), 2835, 2835, 0, 0)
    path.write_bytes(struct.pack("<2sIHHI", b"BM", 14 + 40 + len(body), 0, 0, 54) + info + body)


if __name__ == "__main__":
    write_ico(HERE / "tolvarin.ico")
    write_bmp(HERE / "devices.bmp")
