"""Reads the registry files of a wine prefix (system.reg: HKEY_LOCAL_MACHINE,
user.reg: HKEY_CURRENT_USER) as wineserver writes them:

    WINE REGISTRY Version 2
    ;; All keys relative to REGISTRY\\Machine
    #arch=win64

    [Software\\Vellmark Tests\\Basic] 1796875505
    #time=1dd885ba391828a
    "Version"="1.0.0"
    @="default value"
    "Flags"=dword:00000001
    "Blob"=hex:01,02,\\
      03
    "Path"=str(2):"%SystemRoot%\\x"
    "List"=str(7):"one\\0two\\0"

Names and strings are escaped C-like (\\\\, \\", \\n, \\0, octal, \\x with up to
four hex digits for characters above 127).  wineserver writes a string value in
quotes only when its data is NUL-terminated UTF-16, and hex otherwise, so the
bytes read back here are exactly the bytes a program stored.  A key marked
#link is a symbolic link: its only value, SymbolicLinkValue (type 6), names the
target and is kept as it is; links are not followed.
"""

import re

from snapshot_format import RegBinary, RegDword, RegSz

_Escapes = {"a": "\a", "b": "\b", "t": "\t", "n": "\n", "v": "\v", "f": "\f", "r": "\r", "e": "\x1b"}
_HexDigits = "0123456789abcdefABCDEF"


class RegistryFormatError(Exception):
    pass


_Stops = {end: re.compile(r"[\\%s]" % re.escape(end)) for end in ('"', "]")}


def _unescape(text, pos, end_char):
    """Reads an escaped text from TEXT[pos:] up to an unescaped END_CHAR;
    returns (text, position after END_CHAR)."""
    out = []
    n = len(text)
    stops = _Stops[end_char]
    while True:
        found = stops.search(text, pos)
        if found is None:
            raise RegistryFormatError("unterminated text")
        out.append(text[pos:found.start()])
        pos = found.start()
        if text[pos] == end_char:
            return "".join(out), pos + 1
        pos += 1
        if pos >= n:
            raise RegistryFormatError("unterminated text")
        ch = text[pos]
        if ch == "x":
            digits = ""
            pos += 1
            while pos < n and len(digits) < 4 and text[pos] in _HexDigits:
                digits += text[pos]
                pos += 1
            out.append(chr(int(digits, 16)) if digits else "x")
        elif "0" <= ch <= "7":
            digits = ""
            while pos < n and len(digits) < 3 and "0" <= text[pos] <= "7":
                digits += text[pos]
                pos += 1
            out.append(chr(int(digits, 8)))
        else:
            out.append(_Escapes.get(ch, ch))
            pos += 1


def _hex_bytes(text):
    text = text.replace("\\", "").replace(" ", "").replace(",", "")
    try:
        return bytes.fromhex(text)
    except ValueError:
        raise RegistryFormatError("bad hex data") from None


def _parse_data(text):
    """(type, bytes) of the text after NAME=."""
    if text.startswith('"'):
        value, _ = _unescape(text, 1, '"')
        return RegSz, (value + "\0").encode("utf-16-le")
    if text.startswith("str("):
        close = text.index("):")
        kind = int(text[4:close], 16)
        value, _ = _unescape(text, close + 3, '"')
        return kind, (value + "\0").encode("utf-16-le")
    if text.startswith("dword:"):
        return RegDword, int(text[6:14], 16).to_bytes(4, "little")
    if text.startswith("hex:"):
        return RegBinary, _hex_bytes(text[4:])
    if text.startswith("hex("):
        close = text.index("):")
        return int(text[4:close], 16), _hex_bytes(text[close + 2:])
    raise RegistryFormatError("unknown value data: %s" % text[:40])


class RegistryFile:
    """The keys of one file: relative path as stored -> {"values": {name: (type, bytes)},
    "link": bool}; look-ups by folded path through `find`."""

    def __init__(self):
        self.keys = {}
        self._folded = {}

    def _key(self, path):
        folded = path.casefold()
        stored = self._folded.get(folded)
        if stored is None:
            self._folded[folded] = stored = path
            self.keys[path] = {"values": {}, "link": False}
        return self.keys[stored]

    def find(self, path):
        stored = self._folded.get(path.casefold())
        return (stored, self.keys[stored]) if stored is not None else (None, None)

    def subtree(self, root):
        """(path, key) of ROOT and every key below it, ancestors that the file
        leaves implicit included."""
        prefix = root.casefold() + "\\"
        found = {}
        for path, key in self.keys.items():
            folded = path.casefold()
            if folded == root.casefold() or folded.startswith(prefix):
                found[folded] = (path, key)
                parts = path.split("\\")
                for end in range(root.count("\\") + 1, len(parts)):
                    parent = "\\".join(parts[:end])
                    found.setdefault(parent.casefold(), (parent, None))
        return list(found.values())


def read_registry_file(file_name):
    """Parses a wine registry file; raises OSError or RegistryFormatError."""
    with open(file_name, encoding="utf-8", errors="surrogateescape") as f:
        lines = f.read().split("\n")
    if not lines or not lines[0].startswith("WINE REGISTRY Version 2"):
        raise RegistryFormatError("%s: not a wine registry file" % file_name)
    reg = RegistryFile()
    key = None
    i = 1
    while i < len(lines):
        line = lines[i]
        number = i + 1
        i += 1
        # hex data goes on over lines that end in a backslash
        while line.endswith("\\") and i < len(lines) and "=hex" in line:
            line = line[:-1] + lines[i].strip()
            i += 1
        try:
            if not line or line.startswith(";;"):
                continue
            if line.startswith("["):
                path, _ = _unescape(line, 1, "]")
                key = reg._key(path)
            elif line.startswith("#"):
                if line == "#link" and key is not None:
                    key["link"] = True
            elif key is None:
                continue  # #arch= and such before the first key
            elif line.startswith("@="):
                key["values"][""] = _parse_data(line[2:])
            elif line.startswith('"'):
                name, pos = _unescape(line, 1, '"')
                if line[pos:pos + 1] != "=":
                    raise RegistryFormatError("no = after the value name")
                key["values"][name] = _parse_data(line[pos + 1:])
            else:
                raise RegistryFormatError("unexpected line")
        except (RegistryFormatError, ValueError) as error:
            raise RegistryFormatError("%s:%d: %s" % (file_name, number, error)) from None
    return reg
