#!/usr/bin/env python3
"""Writes a small 32-bit PE image whose .rsrc section carries a file version.

usage: make-versioned.py OUT a.b.c.d [TEXT]

The GUI tests' packages hold such images (a versioned program, a shared
library) so that the setup's version rule can be seen at work.  TEXT, when
given, is put into the .text section so that two images of the same version
can differ in their bytes.  The images are never run.
"""
import struct
import sys


def image(version, text=b""):
    a, b, c, d = (int(x) for x in version.split("."))
    data = bytearray(0x800)
    data[0:2] = b"MZ"
    struct.pack_into("<H", data, 0x18, 0x40)          # e_lfarlc
    struct.pack_into("<I", data, 0x3C, 0x80)          # e_lfanew
    pe = 0x80
    data[pe:pe + 4] = b"PE\0\0"
    struct.pack_into("<HH", data, pe + 4, 0x014C, 3)  # i386, three sections
    struct.pack_into("<H", data, pe + 20, 224)        # optional header size
    struct.pack_into("<H", data, pe + 24, 0x010B)     # PE32
    table = pe + 24 + 224
    for i, (name, pointer) in enumerate(((b".text", 0x200), (b".rsrc", 0x400), (b".reloc", 0x600))):
        at = table + 40 * i
        data[at:at + len(name)] = name
        struct.pack_into("<II", data, at + 16, 0x200, pointer)
    data[0x200:0x200 + len(text)] = text[:0x200]
    record = 0x458
    struct.pack_into("<IIII", data, record, 0xFEEF04BD, 0x00010000, (a << 16) | b, (c << 16) | d)
    return bytes(data)


if __name__ == "__main__":
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    with open(sys.argv[1], "wb") as out:
        out.write(image(sys.argv[2], sys.argv[3].encode() if len(sys.argv) == 4 else b""))
