#!/usr/bin/env python3
"""Draws the programs' artwork and writes it next to this script.

  Setup.ico       icon 103: 32 x 32 pixels, 16 colours (the frame's icon and the
                  picture on the Welcome page)
  Uninstall.ico   the uninstaller's icon 102: the same carton, the arrow leaving it
  Background.bmp  bitmap 109: 100 x 300 pixels, 256 colours (the tile behind the
                  frame and every page)

Only the standard library is used, so the files can be made again anywhere:
    python3 resources/make-artwork.py
The output is deterministic; the generated files are committed with this script.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

# ---------------------------------------------------------------------------
# Icon: a blue tile with an open carton and an arrow going into it (the
# setup) or coming out of it (the uninstaller).
#
# The Welcome page shows the icon in a plain static picture control, which
# paints its own rectangle in the dialog colour first, so the icon is fully
# opaque: every pixel belongs to the tile.

VGA = [  # the standard 16-colour palette, index: (r, g, b)
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, MAROON, GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER = range(8)
GREY, RED, LIME, YELLOW, BLUE, MAGENTA, CYAN, WHITE = range(8, 16)


def inside_polygon(x, y, points):
    """Even-odd rule at the pixel centre."""
    px, py = x + 0.5, y + 0.5
    result = False
    j = len(points) - 1
    for i in range(len(points)):
        xi, yi = points[i]
        xj, yj = points[j]
        if (yi > py) != (yj > py):
            cross = (xj - xi) * (py - yi) / (yj - yi) + xi
            if px < cross:
                result = not result
        j = i
    return result


def draw_icon(arrow_out=False):
    size = 32
    pixels = [[NAVY] * size for _ in range(size)]

    # Tile: blue at the top fading into navy with an ordered dither, a navy rim
    # and a teal highlight along the top and left edges.
    for y in range(1, size - 1):
        for x in range(1, size - 1):
            fade = (y - 8) / 20.0            # 0 at row 8, 1 at row 28
            threshold = ((x * 3 + y * 5) % 8) / 8.0
            pixels[y][x] = NAVY if fade > threshold else BLUE
    for i in range(1, size - 1):
        pixels[1][i] = TEAL
        pixels[i][1] = TEAL
    for i in range(size):
        pixels[0][i] = pixels[size - 1][i] = BLACK
        pixels[i][0] = pixels[i][size - 1] = BLACK

    def poly(points, colour):
        for y in range(size):
            for x in range(size):
                if inside_polygon(x, y, points):
                    pixels[y][x] = colour

    # The carton: front face, right side, the dark opening and three flaps.
    poly([(12, 12), (26, 12), (29, 6), (15, 6)], OLIVE)           # back flap
    poly([(7, 16), (12, 12), (26, 12), (21, 16)], BLACK)          # opening
    poly([(7, 16), (21, 16), (21, 29), (7, 29)], OLIVE)           # front
    poly([(21, 16), (26, 12), (26, 25), (21, 29)], MAROON)        # side
    poly([(7, 16), (12, 12), (9, 9), (4, 13)], YELLOW)             # left flap
    poly([(21, 16), (26, 12), (30, 14), (25, 18)], YELLOW)        # right flap
    for x in range(7, 22):                                        # front edge
        pixels[16][x] = WHITE
    for y in range(17, 29):
        pixels[y][7] = YELLOW
    for x in range(9, 20, 2):                                     # tape
        pixels[23][x] = YELLOW

    if arrow_out:
        # Red, pointing up out of the opening, a maroon shade on its right edge.
        poly([(13, 8), (18, 8), (18, 15), (13, 15)], RED)
        poly([(9, 8), (22, 8), (15.5, 1)], RED)
        for y in range(8, 15):
            pixels[y][17] = MAROON
        return pixels

    # The arrow, white with a silver shade on its right edge.
    poly([(13, 2), (18, 2), (18, 9), (13, 9)], WHITE)
    poly([(9, 9), (22, 9), (15.5, 16)], WHITE)
    for y in range(2, 9):
        pixels[y][17] = SILVER
    return pixels


def write_icon(path, pixels):
    size = len(pixels)
    row_bytes = size // 2                       # 4 bits a pixel
    mask_row_bytes = ((size + 31) // 32) * 4    # 1 bit a pixel, DWORD rows
    image_size = size * row_bytes + size * mask_row_bytes
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0,
                         image_size, 0, 0, 16, 0)
    palette = b''.join(struct.pack('BBBB', b, g, r, 0) for r, g, b in VGA)
    colour = bytearray()
    for y in reversed(range(size)):             # bottom-up
        for x in range(0, size, 2):
            colour.append((pixels[y][x] << 4) | pixels[y][x + 1])
    mask = bytes(size * mask_row_bytes)         # all opaque
    image = header + palette + bytes(colour) + mask
    directory = struct.pack('<HHH', 0, 1, 1)
    entry = struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(image), 6 + 16)
    with open(path, 'wb') as out:
        out.write(directory + entry + image)


# ---------------------------------------------------------------------------
# Background: a pale blue-white gradient from top to bottom with a faint
# diagonal weave.  The weave repeats every 10 pixels, so the tile joins itself
# seamlessly to the right; the wizard is shorter than 300 pixels, so the
# vertical joint never shows.  Black text must stay easy to read on every
# part of it.

TOP = (250, 252, 255)
BOTTOM = (208, 224, 242)
LEVELS = 128


def mix(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


def background_palette():
    palette = []
    for level in range(LEVELS):                  # 0..127: plain gradient
        palette.append(mix(TOP, BOTTOM, level / (LEVELS - 1)))
    for level in range(LEVELS):                  # 128..255: the weave, a shade darker
        r, g, b = mix(TOP, BOTTOM, level / (LEVELS - 1))
        palette.append((max(0, r - 9), max(0, g - 7), max(0, b - 4)))
    return palette


def draw_background(width=100, height=300):
    rows = []
    for y in range(height):
        level = (y * (LEVELS - 1)) // (height - 1)
        row = []
        for x in range(width):
            weave = (x + y) % 10 == 0 or (x - y) % 10 == 0
            row.append(level + (LEVELS if weave else 0))
        rows.append(row)
    return rows


def write_bitmap(path, rows, palette):
    height = len(rows)
    width = len(rows[0])
    stride = (width + 3) & ~3
    pixel_bytes = bytearray()
    for row in reversed(rows):                   # bottom-up
        pixel_bytes.extend(row)
        pixel_bytes.extend(bytes(stride - width))
    palette_bytes = b''.join(struct.pack('BBBB', b, g, r, 0) for r, g, b in palette)
    offset = 14 + 40 + len(palette_bytes)
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 8, 0,
                       len(pixel_bytes), 2835, 2835, 256, 0)
    file_header = struct.pack('<2sIHHI', b'BM', offset + len(pixel_bytes), 0, 0, offset)
    with open(path, 'wb') as out:
        out.write(file_header + info + palette_bytes + bytes(pixel_bytes))


if __name__ == '__main__':
    write_icon(os.path.join(HERE, 'Setup.ico'), draw_icon())
    write_icon(os.path.join(HERE, 'Uninstall.ico'), draw_icon(arrow_out=True))
    write_bitmap(os.path.join(HERE, 'Background.bmp'), draw_background(), background_palette())
