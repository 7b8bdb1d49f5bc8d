"""What changed between two snapshots (snapshot_format.py), one Change a
folder, file, link, key or value, sorted: files and folders first, then keys
and values, each folder or key before what it holds.  Each change has its
line as the tests' snapshot-diff prints it:

    +dir   C:\\Program Files\\Vellmark Tests\\Basic
    +file  C:\\Program Files\\Vellmark Tests\\Basic\\readme.txt 12 bytes = Bin\\readme.txt
    ~file  C:\\...\\setup.ini 10 bytes sha256:0123456789ab -> 14 bytes sha256:ba9876543210
    -file  C:\\...\\temp.temp 4 bytes sha256:...
    +link  C:\\... -> TARGET
    +key   HKLM\\Software\\Vellmark Tests\\Basic
    +value HKLM\\Software\\Vellmark Tests\\Basic: Version = "1.0.0"
    ~value HKLM\\Software\\Vellmark Tests\\Basic: Count = dword:0x00000001 -> dword:0x00000002

A file whose contents equal a source file (a file of a --sources folder, or
one recorded by `snapshot --sources`) is named by that file's path in the
folder; otherwise a short SHA-256 is shown.  `vellmark try` groups the same
changes for its report.
"""

import hashlib
import os

from snapshot_format import matches_any, path_parts, short_value, show


class Change:
    """One changed folder, file, link, key or value.

    sign   "+" added, "-" removed, "~" changed
    kind   "dir", "file", "link", "key" or "value"
    path   the Windows path, or the key's path
    name   a value's name ("" for the default value); None otherwise
    old, new
           the entries before and after (None when absent): ("dir",),
           ("file", size, sha256), ("link", target) as the snapshot holds
           them; a value's rendered data
    subject
           what --ignore patterns match: the path, or "KEY: NAME"
    line   the change as snapshot-diff prints it
    """

    def __init__(self, order, sign, kind, path, name, old, new, line):
        self.order = order
        self.sign = sign
        self.kind = kind
        self.path = path
        self.name = name
        self.old = old
        self.new = new
        self.line = line
        self.subject = show(path) if name is None else "%s: %s" % (show(path), show(name) if name else "@")


def source_names(snapshots, folders=()):
    """SHA-256 -> the first name (in sorted order) of a source file with it."""
    names = {}
    for snap in snapshots:
        for relative, (_, digest) in snap.sources.items():
            names.setdefault(digest, []).append(relative)
    for folder in folders:
        for parent, _, files in os.walk(folder):
            for name in files:
                full = os.path.join(parent, name)
                with open(full, "rb") as f:
                    digest = hashlib.sha256(f.read()).hexdigest()
                relative = os.path.relpath(full, folder).replace("/", "\\")
                names.setdefault(digest, []).append(relative)
    return {digest: min(found, key=lambda p: (path_parts(p), p)) for digest, found in names.items()}


def describe_file(entry, sources):
    kind = entry[0]
    if kind == "file":
        size, digest = entry[1], entry[2]
        unit = "byte" if size == 1 else "bytes"
        if digest is None:
            return "%d %s" % (size, unit)
        named = sources.get(digest)
        where = "= %s" % show(named) if named is not None else "sha256:%s" % digest[:12]
        return "%d %s %s" % (size, unit, where)
    if kind == "link":
        return "-> %s" % show(entry[1])
    return ""


def tag(sign, kind):
    return "%s%-5s" % (sign, kind)


def size_only(entry):
    """A file entry without its contents' hash; other entries as they are."""
    if entry is not None and entry[0] == "file":
        return ("file", entry[1], None)
    return entry


def file_changes(before, after, sources, sized=None):
    """Every changed folder, file and link; files matched by SIZED (from
    `wildcard`) count by their size alone."""
    out = []
    for path in set(before.files) | set(after.files):
        old, new = before.files.get(path), after.files.get(path)
        if matches_any(show(path), sized):
            old, new = size_only(old), size_only(new)
        if old == new:
            continue
        order = (0, path_parts(path), "")
        shown = show(path)
        if old is not None and new is not None and old[0] == new[0]:
            line = "%s %s %s -> %s" % (tag("~", old[0]), shown, describe_file(old, sources),
                                       describe_file(new, sources).removeprefix("-> "))
            out.append(Change(order + (2,), "~", old[0], path, None, old, new, line))
            continue
        if old is not None:
            line = "%s %s %s" % (tag("-", old[0]), shown, describe_file(old, sources))
            out.append(Change(order + (0,), "-", old[0], path, None, old, None, line.rstrip()))
        if new is not None:
            line = "%s %s %s" % (tag("+", new[0]), shown, describe_file(new, sources))
            out.append(Change(order + (1,), "+", new[0], path, None, None, new, line.rstrip()))
    return out


def registry_changes(before, after):
    """Every changed key and value."""
    out = []
    for folded in set(before.keys) ^ set(after.keys):
        path = after.keys.get(folded) or before.keys[folded]
        sign = "+" if folded in after.keys else "-"
        out.append(Change((1, path_parts(path), "", 0), sign, "key", path, None, None, None,
                          "%s %s" % (tag(sign, "key"), show(path))))
    for ident in set(before.values) | set(after.values):
        old, new = before.values.get(ident), after.values.get(ident)
        if old is not None and new is not None and old[2] == new[2]:
            continue
        key, name, _ = new or old
        key = after.keys.get(ident[0]) or before.keys.get(ident[0]) or key
        order = (1, path_parts(key), "\0" + name.casefold())
        subject = "%s: %s" % (show(key), show(name) if name else "@")
        old_data, new_data = old and old[2], new and new[2]
        if old is None:
            line = "%s %s = %s" % (tag("+", "value"), subject, short_value(new_data))
            out.append(Change(order + (1,), "+", "value", key, name, None, new_data, line))
        elif new is None:
            line = "%s %s = %s" % (tag("-", "value"), subject, short_value(old_data))
            out.append(Change(order + (0,), "-", "value", key, name, old_data, None, line))
        else:
            line = "%s %s = %s -> %s" % (tag("~", "value"), subject, short_value(old_data), short_value(new_data))
            out.append(Change(order + (2,), "~", "value", key, name, old_data, new_data, line))
    return out


def compare(before, after, sources=None, ignored=None, sized=None):
    """The sorted changes from BEFORE to AFTER (Snapshots).  SOURCES: from
    `source_names` (default: the sources both snapshots recorded); IGNORED and
    SIZED: matchers from `wildcard` (--ignore and --size-only)."""
    if sources is None:
        sources = source_names([before, after])
    changes = file_changes(before, after, sources, sized) + registry_changes(before, after)
    changes.sort(key=lambda c: (c.order, c.subject, c.line))
    return [c for c in changes if not matches_any(c.subject, ignored)]
