"""How Vellmark runs wine: the loader, the wineserver, and the environment
every run has.  `vellmark try` uses it for its throw-away prefixes, and the
source tree's scripts/wine-run runs every wine program of the scripts and
tests through it, so both run wine the same way.

As a program:
    wine_env.py [--default-prefix DIR] PROGRAM [ARGS...]       a Windows program under wine64
    wine_env.py [--default-prefix DIR] --wineserver [ARGS...]  the wineserver of the same prefix
The prefix is WINEPREFIX, or DIR when WINEPREFIX is not set (never ~/.wine).
"""

import os
import shutil
import sys

# The 64-bit loader; Debian puts it outside PATH.
Wine64Loaders = ["/usr/lib/wine/wine64"]
# The loader of 32-bit programs (Debian's wine32, an i386 package).
Wine32Loaders = ["/usr/lib/wine/wine", "/usr/lib/i386-linux-gnu/wine/wine"]
WineServers = ["/usr/lib/wine/wineserver", "/usr/lib/wine/wineserver64"]

# The Debian packages that bring what is missing, for the messages.
WinePackages = "wine64 (apt-get install wine64)"
Wine32Packages = "wine32 (dpkg --add-architecture i386; apt-get update; apt-get install wine32)"
XvfbPackages = "xvfb (apt-get install xvfb)"


def _first(candidates, names_on_path):
    for path in candidates:
        if os.access(path, os.X_OK):
            return path
    for name in names_on_path:
        found = shutil.which(name)
        if found:
            return found
    return None


def wine64_loader():
    """The wine64 loader, or None when wine64 is not installed."""
    return _first(Wine64Loaders, ["wine64"])


def wine32_loader():
    """The loader that runs 32-bit programs, or None.  wine64 alone runs
    only 64-bit ones."""
    return _first(Wine32Loaders, [])


def wineserver():
    return _first(WineServers, ["wineserver"])


def environment(prefix, base=None):
    """The environment of a wine run in PREFIX."""
    env = dict(os.environ if base is None else base)
    env["WINEPREFIX"] = prefix
    if not env.get("WINEDEBUG"):
        env["WINEDEBUG"] = "-all"
    # mscoree and mshtml are not installed (wine would offer to download Mono
    # and Gecko); winemenubuilder is off: it would copy every shortcut a setup
    # saves into the desktop menus of the machine's own user, outside the prefix.
    if not env.get("WINEDLLOVERRIDES"):
        env["WINEDLLOVERRIDES"] = "mscoree,mshtml=;winemenubuilder.exe=d"
    return env


def windows_path(host_path):
    """Wine maps drive Z: to /: the Windows path of a file of the host."""
    return "Z:" + os.path.abspath(host_path).replace("/", "\\")


def main(argv):
    default_prefix = None
    if argv[:1] == ["--default-prefix"] and len(argv) >= 2:
        default_prefix, argv = argv[1], argv[2:]
    prefix = os.environ.get("WINEPREFIX") or default_prefix
    if not prefix:
        print("wine_env: no WINEPREFIX and no --default-prefix", file=sys.stderr)
        return 2
    os.makedirs(prefix, exist_ok=True)
    if argv[:1] == ["--wineserver"]:
        program, argv = wineserver(), argv[1:]
        missing = "wineserver"
    else:
        program = wine64_loader() or shutil.which("wine")
        missing = "wine64"
    if not argv and missing == "wine64":
        print("wine_env: no program to run", file=sys.stderr)
        return 2
    if program is None:
        print("wine_env: %s is not installed: %s" % (missing, WinePackages), file=sys.stderr)
        return 127
    os.execve(program, [program] + argv, environment(prefix))
    return 127


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
