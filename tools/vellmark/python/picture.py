"""The UI driver's pictures (24-bit BMP, as its screenshot command writes
them) as PNG files, which every browser shows and which a report can carry
inline; with only the standard library (zlib and struct)."""

import struct
import zlib


class PictureError(Exception):
    pass


def read_bmp(data):
    """(width, height, rows) of a 24-bit uncompressed BMP: rows from the top,
    each bytes of R, G, B."""
    if data[:2] != b"BM" or len(data) < 54:
        raise PictureError("not a BMP picture")
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height = struct.unpack_from("<ii", data, 18)
    bits, compression = struct.unpack_from("<H", data, 28)[0], struct.unpack_from("<I", data, 30)[0]
    if bits != 24 or compression != 0 or width <= 0 or height == 0:
        raise PictureError("not a 24-bit uncompressed BMP picture")
    stride = (width * 3 + 3) & ~3
    top_down = height < 0
    height = abs(height)
    if offset + stride * height > len(data):
        raise PictureError("the BMP picture is cut short")
    rows = []
    for y in range(height):
        at = offset + stride * (y if top_down else height - 1 - y)
        bgr = data[at:at + width * 3]
        rgb = bytearray(len(bgr))
        rgb[0::3], rgb[1::3], rgb[2::3] = bgr[2::3], bgr[1::3], bgr[0::3]
        rows.append(bytes(rgb))
    return width, height, rows


def png_bytes(width, height, rows):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)

    raw = b"".join(b"\0" + row for row in rows)
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)  # 8-bit RGB
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


def colour_count(rows, limit=256):
    """How many colours the picture has, counted up to LIMIT: 1 for a blank one."""
    seen = set()
    for row in rows:
        for x in range(0, len(row), 3):
            seen.add(row[x:x + 3])
            if len(seen) >= limit:
                return len(seen)
    return len(seen)


def bmp_to_png(bmp_file, png_file):
    """Writes the PNG of a BMP file; returns (width, height, colours)."""
    with open(bmp_file, "rb") as f:
        width, height, rows = read_bmp(f.read())
    with open(png_file, "wb") as f:
        f.write(png_bytes(width, height, rows))
    return width, height, colour_count(rows)
