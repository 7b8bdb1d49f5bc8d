#!/usr/bin/env python3
"""Writes the install logs that the uninstaller's start-up cases open.

usage: make-logs.py [FOLDER]     (default: the folder of this script)

  product.log    a whole log: the product "Logged" and one file
  driver.log     a whole log with a Driver entry (the service manager is asked)
  truncated.log  the product's entry whole, then a File entry cut inside its
                 path, as a write that never finished leaves it

The files are committed with this script; the output is deterministic.
"""
import os
import struct
import sys

FOLDER = "C:\\Program Files\\Vellmark Tests\\Logged"


def record(kind, *texts):
    """One record: kind, presence flags, then each string and CR LF."""
    flags = sum(1 << i for i, text in enumerate(texts) if text is not None)
    body = b"".join(text.encode("cp1252") + b"\r\n" for text in texts if text is not None)
    return struct.pack("<iI", kind, flags) + body


PRODUCT = record(1, "Vellmark Tests", "Logged", FOLDER)
FILE = record(3, FOLDER + "\\logged.txt")
DRIVER = record(7, "C:\\windows\\system32\\drivers\\vmtlogged.sys", "VmtLogged")

LOGS = {
    "product.log": b"log1" + PRODUCT + FILE,
    "driver.log": b"log1" + PRODUCT + DRIVER,
    "truncated.log": b"log1" + PRODUCT + FILE[:-6],
}

if __name__ == "__main__":
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    for name, data in LOGS.items():
        with open(os.path.join(folder, name), "wb") as out:
            out.write(data)
