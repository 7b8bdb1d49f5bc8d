"""Reads back what a shortcut points at, from Linux: a shell link (.lnk) in
the Shell Link Binary File Format that Windows documents ([MS-SHLLINK]), and
an Internet shortcut (.url, an INI file with URL= in [InternetShortcut]).

A shell link is a fixed header (its LinkFlags say which parts follow), an
optional item-id list, an optional LinkInfo (the target's local base path and
common path suffix, or a network share), and the string data: description,
relative path, working folder, arguments and icon location, each as a count
of characters and the characters (UTF-16LE when IsUnicode is set, else the
code page).  Extra data blocks at the end are not read.
"""

import struct

HeaderSize = 0x4C
LinkClsid = bytes.fromhex("0114020000000000c000000000000046")

HasLinkTargetIdList = 0x01
HasLinkInfo = 0x02
HasName = 0x04
HasRelativePath = 0x08
HasWorkingDir = 0x10
HasArguments = 0x20
HasIconLocation = 0x40
IsUnicode = 0x80

VolumeIdAndLocalBasePath = 0x01
CommonNetworkRelativeLinkAndPathSuffix = 0x02

# The string data, in the order they are stored.
StringFields = [
    (HasName, "description"),
    (HasRelativePath, "relative_path"),
    (HasWorkingDir, "working_directory"),
    (HasArguments, "arguments"),
    (HasIconLocation, "icon_location"),
]

AnsiCodePage = "cp1252"  # the programs' code page (the setup's own texts are Windows-1252)


class ShellLinkError(Exception):
    pass


def _u32(data, at):
    if at + 4 > len(data):
        raise ShellLinkError("cut short at byte %d" % at)
    return struct.unpack_from("<I", data, at)[0]


def _u16(data, at):
    if at + 2 > len(data):
        raise ShellLinkError("cut short at byte %d" % at)
    return struct.unpack_from("<H", data, at)[0]


def _ansi_z(data, at):
    end = data.find(b"\0", at)
    if at >= len(data) or end < 0:
        raise ShellLinkError("a text without its end at byte %d" % at)
    return data[at:end].decode(AnsiCodePage, errors="replace")


def _unicode_z(data, at):
    end = at
    while end + 1 < len(data) and data[end:end + 2] != b"\0\0":
        end += 2
    if end + 1 >= len(data):
        raise ShellLinkError("a text without its end at byte %d" % at)
    return data[at:end].decode("utf-16-le", errors="replace")


def _link_info_target(data, at):
    """The target path a LinkInfo structure at AT names, or None."""
    size = _u32(data, at)
    header_size = _u32(data, at + 4)
    flags = _u32(data, at + 8)
    info = data[at:at + size]
    if len(info) < size or header_size < 0x1C:
        raise ShellLinkError("LinkInfo cut short")
    base_offset = _u32(info, 16)
    network_offset = _u32(info, 20)
    suffix_offset = _u32(info, 24)
    unicode = header_size >= 0x24
    suffix = ""
    if unicode and _u32(info, 32):
        suffix = _unicode_z(info, _u32(info, 32))
    elif suffix_offset:
        suffix = _ansi_z(info, suffix_offset)
    if flags & VolumeIdAndLocalBasePath:
        base = _unicode_z(info, _u32(info, 28)) if unicode and _u32(info, 28) else _ansi_z(info, base_offset)
        return base + suffix
    if flags & CommonNetworkRelativeLinkAndPathSuffix and network_offset:
        net_name = _ansi_z(info, network_offset + _u32(info, network_offset + 8))
        return net_name + ("\\" + suffix if suffix else "")
    return None


def read_shell_link(data):
    """{"target", "description", "relative_path", "working_directory",
    "arguments", "icon_location"} of a shell link's bytes; a part the link
    does not hold is None.  Raises ShellLinkError for bytes that are no link."""
    if len(data) < HeaderSize or _u32(data, 0) != HeaderSize or data[4:20] != LinkClsid:
        raise ShellLinkError("not a shell link (no link header)")
    flags = _u32(data, 0x14)
    at = HeaderSize
    if flags & HasLinkTargetIdList:
        at += 2 + _u16(data, at)
    link = {"target": None}
    if flags & HasLinkInfo:
        link["target"] = _link_info_target(data, at)
        at += _u32(data, at)
    for flag, name in StringFields:
        link[name] = None
        if not flags & flag:
            continue
        count = _u16(data, at)
        at += 2
        width = 2 if flags & IsUnicode else 1
        raw = data[at:at + count * width]
        if len(raw) < count * width:
            raise ShellLinkError("the %s is cut short" % name.replace("_", " "))
        # wine counts a terminating NUL that Windows leaves out; a reader
        # stops at it either way.
        link[name] = raw.decode("utf-16-le" if width == 2 else AnsiCodePage, errors="replace").split("\0")[0]
        at += count * width
    return link


def read_internet_shortcut(data):
    """The address of an Internet shortcut's bytes, or None when it names none."""
    section = None
    for line in data.decode(AnsiCodePage, errors="replace").splitlines():
        line = line.strip()
        if line.startswith("[") and line.endswith("]"):
            section = line[1:-1].strip().casefold()
        elif section == "internetshortcut" and line[:4].casefold() == "url=":
            return line[4:]
    return None


def read_shortcut(path, data):
    """What a shortcut file points at: {"kind": "shell link", "target", ...}
    for a .lnk, {"kind": "internet shortcut", "url"} for a .url, None for
    any other file.  A link that cannot be read gives {"kind", "error"}."""
    lowered = path.casefold()
    if lowered.endswith(".url"):
        return {"kind": "internet shortcut", "url": read_internet_shortcut(data)}
    if lowered.endswith(".lnk"):
        try:
            return dict(kind="shell link", **read_shell_link(data))
        except ShellLinkError as error:
            return {"kind": "shell link", "error": str(error)}
    return None
