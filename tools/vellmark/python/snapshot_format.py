"""The snapshot file shared by `snapshot` (writes it) and `snapshot-diff` (reads it).

A snapshot is UTF-8 text, one entry a line, fields separated by a tab, sorted:

    # vellmark snapshot 1
    source  Bin\\readme.txt  12  SHA256        a file of a --sources folder
    dir     C:\\Program Files
    file    C:\\Program Files\\x.txt  12  SHA256
    link    C:\\users\\root\\Desktop  TARGET      a symbolic link, not followed
    key     HKLM\\Software\\Vellmark Tests
    value   HKLM\\Software\\Vellmark Tests  NAME  DATA

Text fields go through `show`: a control character becomes ^ and a letter (tab
^I, line feed ^J, NUL ^@) and ^ itself is doubled, so no field holds a tab or a
line break and every text maps to one spelling.  A value's DATA is its type and
bytes as `render_value` spells them: exact, and readable for the common types.
The default value of a key has the empty NAME (printed as @ by snapshot-diff).
"""

import hashlib
import re

HEADER = "# vellmark snapshot 1"

# Registry value types (winnt.h).
RegNone, RegSz, RegExpandSz, RegBinary, RegDword = 0, 1, 2, 3, 4
RegMultiSz, RegQword = 7, 11


_ShowTable = {code: "^" + chr(code + 0x40) for code in range(0x20)}
_ShowTable[0x7F] = "^?"
_ShowTable[ord("^")] = "^^"
_NeedsShow = re.compile(r"[\x00-\x1f\x7f^]")


def show(text):
    """Caret notation for control characters; ^ doubled."""
    return text.translate(_ShowTable) if _NeedsShow.search(text) else text


def unshow(text):
    """The inverse of `show`."""
    if "^" not in text:
        return text
    out = []
    i = 0
    while i < len(text):
        ch = text[i]
        if ch == "^" and i + 1 < len(text):
            nxt = text[i + 1]
            if nxt == "^":
                out.append("^")
            elif nxt == "?":
                out.append("\x7f")
            else:
                out.append(chr(ord(nxt) - 0x40))
            i += 2
            continue
        out.append(ch)
        i += 1
    return "".join(out)


def _utf16_text(data):
    """The text of UTF-16LE data that ends in exactly one NUL, else None."""
    if len(data) < 2 or len(data) % 2 or data[-2:] != b"\0\0":
        return None
    try:
        return data[:-2].decode("utf-16-le")
    except UnicodeDecodeError:
        return None


def _hex(data):
    return ",".join("%02x" % b for b in data)


def render_value(kind, data):
    """One exact spelling of a registry value: "text" (REG_SZ), expand:"text",
    multi:"one^@two^@" (the strings with their NULs), dword:0x00000001,
    qword:0x..., hex:01,02 (REG_BINARY), hex(N):... for every other type and
    for strings that are not NUL-terminated UTF-16."""
    if kind in (RegSz, RegExpandSz):
        text = _utf16_text(data)
        if text is not None and "\0" not in text:
            prefix = "expand:" if kind == RegExpandSz else ""
            return '%s"%s"' % (prefix, show(text))
    elif kind == RegMultiSz:
        text = _utf16_text(data)
        if text is not None:
            return 'multi:"%s"' % show(text)
    elif kind == RegDword and len(data) == 4:
        return "dword:0x%08x" % int.from_bytes(data, "little")
    elif kind == RegQword and len(data) == 8:
        return "qword:0x%016x" % int.from_bytes(data, "little")
    elif kind == RegBinary:
        return "hex:" + _hex(data)
    return "hex(%x):%s" % (kind, _hex(data))


def short_value(rendered):
    """A long hex value cut for a person to read; the hash still tells two apart."""
    head, sep, body = rendered.partition(":")
    if not head.startswith("hex") or len(body) <= 3 * 32:
        return rendered
    count = (len(body) + 1) // 3
    digest = hashlib.sha256(body.encode()).hexdigest()[:12]
    return "%s:%s,... (%d bytes, sha256:%s)" % (head, body[: 3 * 16 - 1], count, digest)


def path_parts(path):
    """Sort key of a Windows path or key path: its parts, case folded, so a
    folder sorts right before what it holds."""
    return tuple(part.casefold() for part in path.split("\\"))


def wildcard(patterns):
    """One matcher for PATTERNS (None when there are none): * matches any run
    of characters (backslashes too), ? one character, case does not matter.
    A pattern also covers what lies below what it names: the files of a
    folder, the subkeys and values ("KEY: NAME") of a key."""
    if not patterns:
        return None
    alternatives = ["".join(".*" if ch == "*" else "." if ch == "?" else re.escape(ch) for ch in pattern)
                    for pattern in patterns]
    return re.compile(r"(?:%s)(?:(?:\\|: ).*)?\Z" % "|".join(alternatives), re.IGNORECASE | re.DOTALL)


def matches_any(subject, matcher):
    """True when MATCHER (from `wildcard`) covers SUBJECT."""
    return matcher is not None and matcher.match(subject) is not None


class Snapshot:
    """The entries of one snapshot, by kind."""

    def __init__(self):
        self.sources = {}  # relative path -> (size, sha256)
        self.files = {}  # Windows path -> ("dir",) | ("file", size, sha256) | ("link", target)
        self.keys = {}  # folded key path -> key path as stored
        self.values = {}  # (folded key path, folded name) -> (key path, name, rendered data)

    def add_key(self, path):
        self.keys.setdefault(path.casefold(), path)

    def add_value(self, key, name, rendered):
        self.values[(key.casefold(), name.casefold())] = (key, name, rendered)

    def lines(self):
        out = [HEADER]
        for rel in sorted(self.sources, key=lambda p: (path_parts(p), p)):
            size, digest = self.sources[rel]
            out.append("source\t%s\t%d\t%s" % (show(rel), size, digest))
        for path in sorted(self.files, key=lambda p: (path_parts(p), p)):
            entry = self.files[path]
            fields = [entry[0], show(path)] + [show(str(f)) for f in entry[1:]]
            out.append("\t".join(fields))
        rows = []
        for folded, path in self.keys.items():
            rows.append(((path_parts(path), ""), "key\t%s" % show(path)))
        for (folded, folded_name), (key, name, data) in self.values.items():
            rows.append(((path_parts(key), "\0" + folded_name),
                         "value\t%s\t%s\t%s" % (show(key), show(name), data)))
        out.extend(line for _, line in sorted(rows))
        return out

    def write(self, file_name):
        with open(file_name, "w", encoding="utf-8", errors="surrogateescape", newline="\n") as f:
            f.write("\n".join(self.lines()) + "\n")


class FormatError(Exception):
    pass


def read_snapshot_lines(file_name):
    """The entry lines of a snapshot file; raises OSError or FormatError."""
    with open(file_name, encoding="utf-8", errors="surrogateescape") as f:
        lines = f.read().split("\n")
    if lines[0] != HEADER:
        raise FormatError("%s: not a snapshot (no %r line)" % (file_name, HEADER))
    return [line for line in lines[1:] if line]


_FieldCounts = {"source": 4, "dir": 2, "file": 4, "link": 3, "key": 2, "value": 4}


def parse_snapshot(lines, file_name, skip=frozenset()):
    """A Snapshot of LINES, less the lines in SKIP (those two snapshots share,
    so a comparison need not read them); raises FormatError."""
    snap = Snapshot()
    for line in lines:
        if line in skip and not line.startswith("source\t"):
            continue
        fields = line.split("\t")
        kind = fields[0]
        try:
            if _FieldCounts.get(kind) != len(fields):
                raise ValueError
            if kind == "source":
                snap.sources[unshow(fields[1])] = (int(fields[2]), fields[3])
            elif kind == "dir":
                snap.files[unshow(fields[1])] = ("dir",)
            elif kind == "file":
                snap.files[unshow(fields[1])] = ("file", int(fields[2]), fields[3])
            elif kind == "link":
                snap.files[unshow(fields[1])] = ("link", unshow(fields[2]))
            elif kind == "key":
                snap.add_key(unshow(fields[1]))
            else:
                snap.add_value(unshow(fields[1]), unshow(fields[2]), fields[3])
        except ValueError:
            raise FormatError("%s: unreadable line: %s" % (file_name, line)) from None
    return snap


def read_snapshot(file_name):
    """Reads a snapshot file; raises OSError or FormatError."""
    return parse_snapshot(read_snapshot_lines(file_name), file_name)
