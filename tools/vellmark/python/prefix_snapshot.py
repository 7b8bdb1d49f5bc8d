"""A snapshot of a wine prefix: every folder and file under drive_c (Windows
path, type, size, SHA-256) and every key and value of
HKEY_LOCAL_MACHINE\\Software, HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services,
the machine's environment (HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\
Session Manager\\Environment, which holds the Path) and HKEY_CURRENT_USER\\Software,
less what wine itself changes on every start.
The file format is described in snapshot_format.py.  `vellmark try` takes
its snapshots with `take_snapshot`; the tests' tests/harness/snapshot is its
command line.

The registry is read from the prefix's system.reg and user.reg, which
wineserver writes when it ends: exact to the byte (a string without its NUL
shows as hex) and fast (no Windows program to start).  So the prefix must be
idle: take a snapshot only while no program of the prefix runs.
"""

import hashlib
import json
import os
import subprocess
from stat import S_ISREG

import wine_env
from snapshot_format import Snapshot, matches_any, render_value, wildcard
from wine_registry import RegistryFormatError, read_registry_file

# What wine changes by itself when it starts; found by snapshotting a fresh
# prefix around programs that change nothing (the GUI cases, each with
# snapshots around it).  Patterns as snapshot-diff's --ignore: a pattern
# covers what lies below the folder or key it names.
VolatilePaths = []
VolatileRegistry = [
    # made by wineboot --init, dropped at the next start
    r"HKLM\Software\Microsoft\Windows NT\CurrentVersion\NetworkCards",
    # the debugger's settings, written when a wine process of the session
    # crashes (a crash of the program under test shows in its exit code)
    r"HKCU\Software\Wine\WineDbg",
]

# The keys a snapshot holds: (file, key in the file, name in the snapshot).
RegistryScopes = [
    ("system.reg", r"Software", r"HKLM\Software"),
    ("system.reg", r"System\CurrentControlSet\Services", r"HKLM\System\CurrentControlSet\Services"),
    ("system.reg", r"System\CurrentControlSet\Control\Session Manager\Environment",
     r"HKLM\System\CurrentControlSet\Control\Session Manager\Environment"),
    ("user.reg", r"Software", r"HKCU\Software"),
]


class SnapshotError(Exception):
    """A prefix that cannot be read, or a wineserver that would not end."""


def end_wineserver(prefix):
    """Ends the prefix's wineserver, which writes the registry files, and waits
    until it is gone."""
    server = wine_env.wineserver()
    if server is None:
        raise SnapshotError("wineserver is not installed: %s" % wine_env.WinePackages)
    env = wine_env.environment(prefix)
    try:
        for flag in ("-k", "-w"):
            subprocess.run([server, flag], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                           timeout=60, check=False)
    except (OSError, subprocess.TimeoutExpired) as error:
        raise SnapshotError("ending the wineserver: %s" % error) from None


class HashCache:
    """SHA-256 of files by path, valid while inode, size, mtime and ctime
    stay the same (a write always moves ctime).  Kept in FILE_NAME between
    runs when one is given, otherwise for the life of the object."""

    def __init__(self, file_name=None):
        self.file_name = file_name
        self.entries = {}
        if file_name and os.path.exists(file_name):
            try:
                with open(file_name, encoding="utf-8", errors="surrogateescape") as f:
                    self.entries = json.load(f)
            except (OSError, ValueError):
                self.entries = {}
        self.used = {}

    def digest(self, path, stat):
        stamp = [stat.st_ino, stat.st_size, stat.st_mtime_ns, stat.st_ctime_ns]
        known = self.used.get(path) or self.entries.get(path)
        if known is not None and known[:4] == stamp:
            digest = known[4]
        else:
            sha = hashlib.sha256()
            with open(path, "rb") as f:
                for block in iter(lambda: f.read(1 << 20), b""):
                    sha.update(block)
            digest = sha.hexdigest()
        self.used[path] = stamp + [digest]
        return digest

    def save(self):
        if not self.file_name:
            return
        temporary = self.file_name + ".new"
        with open(temporary, "w", encoding="utf-8", errors="surrogateescape") as f:
            json.dump(self.used, f)
        os.replace(temporary, self.file_name)


def windows_path(relative):
    return "C:\\" + relative.replace("/", "\\") if relative else "C:"


def host_path(prefix, path):
    """The file of the prefix that the Windows path C:\\... names, each part
    matched without regard to case as Windows does; None for a path that is
    not on drive C:."""
    if path[:3].lower() != "c:\\":
        return None
    current = os.path.join(prefix, "drive_c")
    for part in [p for p in path[3:].split("\\") if p]:
        found = part
        if os.path.isdir(current):
            folded = part.casefold()
            for entry in sorted(os.listdir(current)):
                if entry.casefold() == folded:
                    found = entry
                    break
        current = os.path.join(current, found)
    return current


def add_files(snap, drive_c, cache, volatile):
    """Every folder, file and link under drive_c; links are not followed."""
    for folder, dirs, files in os.walk(drive_c):
        relative_folder = os.path.relpath(folder, drive_c)
        relative_folder = "" if relative_folder == "." else relative_folder
        kept = []
        for name in sorted(dirs):
            relative = os.path.join(relative_folder, name)
            path = windows_path(relative)
            if matches_any(path, volatile):
                continue
            full = os.path.join(folder, name)
            if os.path.islink(full):
                snap.files[path] = ("link", os.readlink(full))
            else:
                snap.files[path] = ("dir",)
                kept.append(name)
        dirs[:] = kept
        for name in files:
            relative = os.path.join(relative_folder, name)
            path = windows_path(relative)
            if matches_any(path, volatile):
                continue
            full = os.path.join(folder, name)
            stat = os.lstat(full)
            if os.path.islink(full):
                snap.files[path] = ("link", os.readlink(full))
            elif not S_ISREG(stat.st_mode):
                snap.files[path] = ("file", stat.st_size, "-")  # a pipe or such: never read
            else:
                snap.files[path] = ("file", stat.st_size, cache.digest(full, stat))


def add_sources(snap, folder):
    for parent, dirs, files in os.walk(folder):
        dirs.sort()
        for name in files:
            full = os.path.join(parent, name)
            relative = os.path.relpath(full, folder).replace("/", "\\")
            with open(full, "rb") as f:
                data = f.read()
            snap.sources[relative] = (len(data), hashlib.sha256(data).hexdigest())


def resolve_link(registry, path):
    """The key PATH names, following symbolic links along the way (wine may make
    CurrentControlSet a link to ControlSet001)."""
    parts = path.split("\\")
    for _ in range(16):
        for end in range(1, len(parts) + 1):
            _, key = registry.find("\\".join(parts[:end]))
            if key is not None and key["link"]:
                _, data = key["values"].get("SymbolicLinkValue", (None, b""))
                target = data.decode("utf-16-le", errors="replace").rstrip("\0")
                root = "\\registry\\machine\\"
                if not target.casefold().startswith(root):
                    return "\\".join(parts)
                parts = target[len(root):].split("\\") + parts[end:]
                break
        else:
            return "\\".join(parts)
    return "\\".join(parts)


def add_registry(snap, registry, file_key, shown_root, volatile):
    source_root = resolve_link(registry, file_key)
    for path, key in registry.subtree(source_root):
        shown = shown_root + path[len(source_root):]
        if matches_any(shown, volatile):
            continue
        snap.add_key(shown)
        if key is None:
            continue
        for name, (kind, data) in key["values"].items():
            if not matches_any("%s: %s" % (shown, name or "@"), volatile):
                snap.add_value(shown, name, render_value(kind, data))


def take_snapshot(prefix, sources=(), cache=None, flush=True):
    """The Snapshot of PREFIX, with the files of the SOURCES folders recorded;
    the wineserver is ended first unless FLUSH is false (for a prefix no
    wineserver serves).  CACHE is a HashCache or None.  Raises SnapshotError."""
    prefix = os.path.abspath(prefix)
    drive_c = os.path.join(prefix, "drive_c")
    if not os.path.isdir(drive_c):
        raise SnapshotError("%s is not a wine prefix (no drive_c)" % prefix)
    for folder in sources:
        if not os.path.isdir(folder):
            raise SnapshotError("no folder %s" % folder)
    if flush:
        end_wineserver(prefix)
    snap = Snapshot()
    cache = cache if cache is not None else HashCache()
    try:
        for folder in sources:
            add_sources(snap, folder)
        add_files(snap, drive_c, cache, wildcard(VolatilePaths))
        volatile = wildcard(VolatileRegistry)
        files = {}
        for file_name, file_key, shown_root in RegistryScopes:
            if file_name not in files:
                files[file_name] = read_registry_file(os.path.join(prefix, file_name))
            add_registry(snap, files[file_name], file_key, shown_root, volatile)
    except (OSError, RegistryFormatError) as error:
        raise SnapshotError(str(error)) from None
    return snap
