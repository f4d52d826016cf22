#!/usr/bin/env python3
"""Builds the program's .ico files from their pixel-text sources.

    make_icons.py SOURCE.txt OUT.ico            one icon from a drawing
    make_icons.py --check SOURCE.txt OUT.ico    exit 1 when OUT.ico is not what SOURCE.txt gives
    make_icons.py --solid OUT.ico BITS=RRGGBB...  16 x 16 images of one colour each (tests)

A source holds a legend (one line per character: "CHAR RRGGBB [ALPHA]", "CHAR transparent"),
a line "----" and a drawing of 16 rows of 16 characters. The icon gets 16 x 16 images at 4, 8
and 32 bits per pixel and 32 x 32 and 48 x 48 ones (the drawing enlarged) at 8 and 32 bits,
every one stored as a bitmap with an AND mask, never as PNG. The 4-bit images use the sixteen
standard colours (each pixel the nearest one), the 8-bit images a palette of the drawing's own
colours; partial alpha exists only at 32 bits (elsewhere such pixels are opaque when their
alpha is at least 128).
"""
import struct
import sys

STANDARD_16 = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
               (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
               (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
SIZES = [(16, 4), (16, 8), (16, 32), (32, 8), (32, 32), (48, 8), (48, 32)]
DESIGN = 16


def read_source(path):
    legend, rows, in_drawing = {}, [], False
    with open(path, encoding="ascii") as source:
        for line in source:
            line = line.rstrip("\n")
            if line.startswith("#") or (not line.strip() and not in_drawing):
                continue
            if line == "----":
                in_drawing = True
            elif in_drawing:
                rows.append(line)
            else:
                char, *value = line.split()
                if value == ["transparent"]:
                    legend[char] = (0, 0, 0, 0)
                else:
                    rgb = int(value[0], 16)
                    alpha = int(value[1]) if len(value) > 1 else 255
                    legend[char] = (rgb >> 16, (rgb >> 8) & 0xFF, rgb & 0xFF, alpha)
    if len(rows) != DESIGN or any(len(row) != DESIGN for row in rows):
        raise SystemExit(f"{path}: the drawing must be {DESIGN} rows of {DESIGN} characters")
    return [[legend[char] for char in row] for row in rows]


def scaled(pixels, size):
    return [[pixels[y * DESIGN // size][x * DESIGN // size] for x in range(size)]
            for y in range(size)]


def nearest(color, palette):
    return min(range(len(palette)),
               key=lambda i: sum((a - b) ** 2 for a, b in zip(color, palette[i])))


def padded(row_bytes):
    return row_bytes + b"\0" * (-len(row_bytes) % 4)


def bitmap_image(pixels, bits):
    """One icon image: header, palette, colour rows and AND mask rows, bottom row first."""
    size = len(pixels)
    opaque = [[p[3] >= 128 if bits < 32 else p[3] > 0 for p in row] for row in pixels]
    palette = []
    if bits == 4:
        palette = STANDARD_16
    elif bits == 8:
        palette = sorted({p[:3] for row in pixels for p in row})
        palette += [(0, 0, 0)] * (256 - len(palette))
    colour_rows, mask_rows = [], []
    for y in reversed(range(size)):
        row = pixels[y]
        if bits == 32:
            data = b"".join(bytes((b, g, r, a)) for r, g, b, a in row)
        else:
            indexes = [nearest(p[:3], palette) if opaque[y][x] else 0 for x, p in enumerate(row)]
            if bits == 8:
                data = bytes(indexes)
            else:
                data = bytes((indexes[x] << 4) | indexes[x + 1] for x in range(0, size, 2))
        colour_rows.append(padded(data))
        mask = bytearray((size + 7) // 8)
        for x in range(size):
            if not opaque[y][x]:
                mask[x // 8] |= 0x80 >> (x % 8)
        mask_rows.append(padded(bytes(mask)))
    body = b"".join(colour_rows) + b"".join(mask_rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, bits, 0, len(body), 0, 0,
                         len(palette), 0)
    table = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    return header + table + body


def icon_file(images):
    """images: (size, bits, bytes) in directory order."""
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    data = b""
    for size, bits, image in images:
        colours = 16 if bits == 4 else 0
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, colours, 0, 1, bits,
                                 len(image), offset + len(data))
        data += image
    return directory + data


def drawing_icon(path):
    pixels = read_source(path)
    return icon_file([(size, bits, bitmap_image(scaled(pixels, size), bits))
                      for size, bits in SIZES])


def solid_icon(specs):
    images = []
    for spec in specs:
        bits, rgb = spec.split("=")
        value = int(rgb, 16)
        pixel = (value >> 16, (value >> 8) & 0xFF, value & 0xFF, 255)
        images.append((DESIGN, int(bits),
                       bitmap_image([[pixel] * DESIGN for _ in range(DESIGN)], int(bits))))
    return icon_file(images)


def main(argv):
    if len(argv) >= 3 and argv[0] == "--solid":
        with open(argv[1], "wb") as out:
            out.write(solid_icon(argv[2:]))
        return 0
    if len(argv) == 3 and argv[0] == "--check":
        with open(argv[2], "rb") as existing:
            if existing.read() != drawing_icon(argv[1]):
                print(f"{argv[2]} is not built from {argv[1]}: run app/res/make_icons.sh")
                return 1
        return 0
    if len(argv) == 2:
        with open(argv[1], "wb") as out:
            out.write(drawing_icon(argv[0]))
        return 0
    print(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
