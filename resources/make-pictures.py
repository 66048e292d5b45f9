#!/usr/bin/env python3
"""Draws the pointer and icon files that travel beside the program.

Writes, next to this script:
  HAND-M.CUR   the hand over the buttons: a Windows cursor file (an icon
               container of type 2) whose directory entry holds the hot spot,
               the tip of the pointing finger
  drag.ico     the pointer while a playlist row is carried: a Windows icon
  lentaro.png  the application icon, 64x64

Run it again after changing a picture; its outputs are committed.
"""
import pathlib
import struct
import zlib

HERE = pathlib.Path(__file__).resolve().parent

# '#' outline, '.' white, 'o' shadow grey, ' ' transparent.
HAND = [
    "      ##                        ",
    "     #..#                       ",
    "     #..#                       ",
    "     #..#                       ",
    "     #..#                       ",
    "     #..###                     ",
    "     #..#..###                  ",
    "     #..#..#..##                ",
    "  ## #..#..#..#.#               ",
    " #..##..#..#..#..#              ",
    " #...#........#..#              ",
    "  #..#...........#              ",
    "  #..............#              ",
    "   #.............#              ",
    "   #............#               ",
    "    #...........#               ",
    "    #..........#                ",
    "     #.........#                ",
    "     #.........#                ",
    "     ###########                ",
]
HAND_HOT_SPOT = (6, 0)

DRAG = [
    "                                ",
    "               ##               ",
    "              #..#              ",
    "             #....#             ",
    "            #......#            ",
    "           ###....###           ",
    "             #....#             ",
    "             #....#             ",
    "    #######################     ",
    "    #.....................#     ",
    "    #.###################.#     ",
    "    #.....................#     ",
    "    #.###############.....#     ",
    "    #.....................#     ",
    "    #######################     ",
    "             #....#             ",
    "             #....#             ",
    "           ###....###           ",
    "            #......#            ",
    "             #....#             ",
    "              #..#              ",
    "               ##               ",
]

COLOURS = {
    "#": (0x10, 0x10, 0x10, 0xFF),
    ".": (0xFF, 0xFF, 0xFF, 0xFF),
    "o": (0x80, 0x80, 0x80, 0xFF),
    " ": (0, 0, 0, 0),
}


def pixels(art, size=32):
    rows = [row.ljust(size)[:size] for row in art] + [" " * size] * (size - len(art))
    return [[COLOURS[ch] for ch in row] for row in rows]


def dib(picture):
    """A 32-bit BMP body as icon files store it: header with doubled height,
    bottom-up BGRA rows, then the 1-bit AND mask (1 = transparent)."""
    size = len(picture)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = b"".join(
        bytes((b, g, r, a)) for row in reversed(picture) for (r, g, b, a) in row)
    mask = bytearray()
    for row in reversed(picture):
        bits = 0
        line = bytearray()
        for x, (_, _, _, a) in enumerate(row):
            bits = (bits << 1) | (1 if a == 0 else 0)
            if x % 8 == 7:
                line.append(bits)
                bits = 0
        while len(line) % 4:
            line.append(0)
        mask += line
    return header + colour + bytes(mask)


def icon_file(picture, cursor_hot_spot=None):
    body = dib(picture)
    size = len(picture)
    kind = 2 if cursor_hot_spot else 1
    field_a, field_b = cursor_hot_spot if cursor_hot_spot else (1, 32)
    directory = struct.pack("<HHH", 0, kind, 1)
    entry = struct.pack("<BBBBHHII", size, size, 0, 0, field_a, field_b, len(body), 6 + 16)
    return directory + entry + body


def png(width, height, rgba_rows):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(
            ">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    raw = b"".join(b"\0" + bytes(c for px in row for c in px) for row in rgba_rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def app_icon(size=64):
    """A rounded teal square with a white note whose stem leans forward: a
    tune played at another tempo."""
    import math
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            # Rounded square, radius 12, 1 px soft edge.
            r = 12
            cx = min(max(x, r), size - 1 - r)
            cy = min(max(y, r), size - 1 - r)
            d = math.hypot(x - cx, y - cy)
            inside = max(0.0, min(1.0, r + 0.5 - d))
            t = y / (size - 1)
            base = (int(0x1b + (0x0f - 0x1b) * t), int(0x8a + (0x5c - 0x8a) * t),
                    int(0x9e + (0x7a - 0x9e) * t))
            colour = base
            # Note head: an ellipse at (24, 44); stem from (31, 44) up to (38, 14);
            # flag from the stem's top.
            ex, ey = (x - 24) / 9.0, (y - 44) / 6.5
            head = ex * ex + ey * ey <= 1.0
            stem_x = 31 + (44 - y) * (7 / 30)
            stem = 14 <= y <= 44 and abs(x - stem_x) <= 2
            flag = 14 <= y <= 26 and stem_x <= x <= stem_x + 12 - (y - 14) * 0.6 and (
                y - 14) >= (x - stem_x) * 0.5
            if head or stem or flag:
                colour = (0xFF, 0xFF, 0xFF)
            row.append((*colour, int(255 * inside)))
        rows.append(row)
    return png(size, size, rows)


def main():
    (HERE / "HAND-M.CUR").write_bytes(icon_file(pixels(HAND), HAND_HOT_SPOT))
    (HERE / "drag.ico").write_bytes(icon_file(pixels(DRAG)))
    (HERE / "lentaro.png").write_bytes(app_icon())


if __name__ == "__main__":
    main()
