#!/usr/bin/env python3
"""The --json output of vellmark list, check and verify, parsed.

usage: json_tests.py --tool VELLMARK --make-stub MAKE_TEST_STUB

Each document must parse with the json module as one document and say what
the human output says (and the package really holds), with the exit code
of the human run:
  - list: a table of packages (only an Install.ini; nested folders with
    non-ASCII names; the names make_test_stub's hostile package holds:
    quotes, backslashes, control characters, DEL, Windows-1252 letters),
    each entry against the `list` line and against the packed folder;
  - check: settings, functions and diagnostics (warnings and errors, with
    file, line and column) against the lines of the human run; the dry run's
    calls and result; non-ASCII and control characters in values;
  - check --package: a warning at each built-in call whose entry the package
    lacks, with and without --run, in the text and in the document;
  - verify: a sound package, a damaged one, a file without a package and a
    missing file.
Prints ok/FAIL per check and "N passed, M failed"; exits 1 when one failed.
"""

import argparse
import json
import os
import re
import subprocess
import sys
import tempfile

from tool_checks import check, run, summary



def document(name, text):
    """The one JSON document of `text`, or None (a failed check)."""
    try:
        return json.loads(text)
    except ValueError as error:
        check(name + ": one JSON document", False, str(error) + "\n" + text[:400])
        return None


def escaped_like_list(name):
    """A name as `list` shows it: control bytes, DEL, '"' and '\\' as \\xNN."""
    return "".join("\\x%02X" % ord(c) if ord(c) < 0x20 or c in '\x7f"\\' else c for c in name)


def write_tree(root, files):
    for path, content in files.items():
        full = os.path.join(root, *path.split("/"))
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "wb") as f:
            f.write(content)


def packed_contents(root):
    """(kind, backslash path, size) of every file and folder under root."""
    found = set()
    for folder, dirs, files in os.walk(root):
        relative = os.path.relpath(folder, root)
        prefix = "" if relative == "." else relative.replace("/", "\\") + "\\"
        for d in dirs:
            found.add(("folder", prefix + d, 0))
        for f in files:
            found.add(("file", prefix + f, os.path.getsize(os.path.join(folder, f))))
    return found


SCRIPT = b"// Company=Acme\r\n// Product=Tool\r\n// Version=1.0\r\n// NoUninstall=0\r\ninstall() { return 1; }\r\n"


def test_list(tool, make_stub, stub, work):
    packages = {
        "only Install.ini": {"Install.ini": SCRIPT},
        "nested folders": {
            "Install.ini": SCRIPT,
            "Bin/tool.exe": b"MZ" + b"x" * 300,
            "Docs/Guides/Deep/Deeper/readme.txt": b"read me\r\n",
            "Docs/Guides/empty.txt": b"",
            "Données/café «quoted».txt": b"caf\xe9",
            "it's #1 & {braces}.txt": b"#",
        },
    }
    for name, files in packages.items():
        root = os.path.join(work, "tree-" + str(len(os.listdir(work))))
        write_tree(root, files)
        setup = root + ".exe"
        rc, out, err = run(tool, "pack", root, "-o", setup, "--stub", stub, "--no-uninstaller")
        check(name + ": packed", rc == 0, err)
        compare_list(tool, name, setup, packed_contents(root))

    hostile = os.path.join(work, "hostile.exe")
    subprocess.run([make_stub, "hostile", hostile], check=True)
    compare_list(tool, "hostile names", hostile, None)

    # The names in the JSON are the package's own, not the terminal's escapes.
    rc, out, err = run(tool, "list", "--json", hostile)
    listed = document("hostile names", out) or {"entries": []}
    names = {e["name"] for e in listed["entries"]}
    for expected in ["back\\slash", 'quote"del\x7f', "bell\x07tab\tcr\r", "caf\u00e9.txt",
                     "line\nf 1 1 forged.txt"]:
        check("hostile names: %r as it is" % expected, expected in names, repr(sorted(names)))

    # Entries whose parents go too deep (or loop): listed with a null path,
    # reported on stderr as the human run reports them, exit code 1 for both.
    deep = os.path.join(work, "deep.exe")
    subprocess.run([make_stub, "deep", deep], check=True)
    rc_human, out_human, err_human = run(tool, "list", deep)
    rc, out, err = run(tool, "list", "--json", deep)
    listed = document("deep", out) or {"entries": []}
    unlisted = [e for e in listed["entries"] if e["path"] is None]
    check("deep: exit code 1 for both", rc == rc_human == 1, "%d %d" % (rc, rc_human))
    check("deep: the same lines on stderr", err == err_human and err.count("not listed") == len(unlisted) > 0,
          "%d %r" % (len(unlisted), err[:200]))
    check("deep: every other entry as list shows it", len(listed["entries"]) - len(unlisted) == len(out_human.splitlines()))

    # A file without a package: exit code and error line of the human run, no document.
    rc_human, out_human, err_human = run(tool, "list", stub)
    rc, out, err = run(tool, "list", "--json", stub)
    check("no package: same exit code (2)", rc == rc_human == 2, "%d %d" % (rc, rc_human))
    check("no package: same error line", err == err_human and "holds no Vellmark package" in err, err)
    check("no package: nothing on stdout", out == "", out)


def compare_list(tool, name, setup, contents):
    rc_human, out_human, _ = run(tool, "list", setup)
    rc, out, err = run(tool, "list", "--json", setup)
    check(name + ": same exit code", rc == rc_human == 0, "%d %d %s" % (rc, rc_human, err))
    listed = document(name, out)
    if listed is None:
        return
    check(name + ": names the setup", listed["setup"] == setup, listed["setup"])
    lines = out_human.splitlines()
    entries = listed["entries"]
    check(name + ": one entry per line", len(entries) == len(lines), "%d %d" % (len(entries), len(lines)))
    for entry, line in zip(entries, lines):
        kind, size, compressed, path = line.split(" ", 3)
        shown = "\\".join(escaped_like_list(part) for part in entry["path"].split("\\"))
        # a name with a backslash inside reads as two parts here: join them as list does
        if "\\" in entry["name"]:
            parent = entry["path"][: len(entry["path"]) - len(entry["name"])]
            shown = "\\".join(escaped_like_list(p) for p in parent.split("\\")[:-1] if p)
            shown = (shown + "\\" if shown else "") + escaped_like_list(entry["name"])
        same = (kind == ("d" if entry["kind"] == "folder" else "f") and int(size) == entry["size"]
                and int(compressed) == entry["compressedSize"] and path == shown)
        check("%s: %r as list shows it" % (name, entry["path"]), same, "%r vs %r" % (line, entry))
        check("%s: %r ends with its name" % (name, entry["path"]), entry["path"].endswith(entry["name"]))
    if contents is not None:
        json_contents = {(e["kind"], e["path"], e["size"]) for e in entries}
        check(name + ": exactly the packed files and folders", json_contents == contents,
              repr(json_contents ^ contents))


def human_settings(out):
    """{key: text after the key} from the Settings: block of a human check."""
    settings = {}
    inside = False
    for line in out.splitlines():
        if line == "Settings:":
            inside = True
        elif line == "Functions:":
            break
        elif inside:
            key, rest = line.strip().split(None, 1)
            settings[key] = rest
    return settings


def shown_like_check(value):
    """A value as the human summary shows it: control bytes as \\xNN."""
    return "".join("\\x%02X" % ord(c) if ord(c) < 0x20 or c == "\x7f" else c for c in value)


def test_check(tool, work):
    cases = [
        ("accepted, warnings", b"// Company = Acme\r\n// Product=Caf\xe9 \"Q\"\r\n// Version=2.0-beta\r\n"
         b"// NoLicense= 1\r\n// LogPath=%WINDIR%\n// CompanyEmail=a@b.example\r\n"
         b"init() { return 1; }\r\ninstall(path, mode) { return 1; }\r\n", []),
        ("LF line ends", b"// Company=Acme\n// Product=Tool\n", []),
        ("rejected", b"// Company=Acme\r\ninstall() {\r\n  var x;\r\n  x = 1\r\n  return x;\r\n}\r\n", []),
        ("byte-order mark", b"\xef\xbb\xbf// Company=Acme\r\n", []),
        ("dry run", b"// Company=Acme\r\n// Product=Tool\r\ninstall()\r\n{\r\n  makedir(\"%APPDIR%\\\\D\\xe9\");\r\n"
         b"  copy(\"Bin\\\\tool.exe\", \"%APPDIR%\\\\tool.exe\");\r\n  msgboxok(\"line\\none\");\r\n  return 7;\r\n}\r\n",
         ["--run", "install"]),
        ("dry run, script error", b"install()\r\n{\r\n    var steps;\r\n    steps = 100 / steps;\r\n    return 1;\r\n}\r\n",
         ["--run", "install"]),
        ("rejected, with --run", b"install() { return nope(); }\r\n", ["--run", "install"]),
        ("no such function", b"// Company=Acme\r\n", ["--run", "missing"]),
    ]
    for name, text, options in cases:
        path = os.path.join(work, name.replace(" ", "-").replace(",", "") + ".ini")
        with open(path, "wb") as f:
            f.write(text)
        rc_human, out_human, err_human = run(tool, "check", path, *options)
        rc, out, err = run(tool, "check", "--json", path, *options)
        check(name + ": same exit code", rc == rc_human, "%d %d" % (rc, rc_human))
        check(name + ": nothing on stderr", err == "", err)
        result = document(name, out)
        if result is None:
            continue
        check(name + ": names the file", result["file"] == path)
        summary = run(tool, "check", path)[1]   # the settings and functions, without the dry run
        accepted = "script accepted" in summary
        check(name + ": accepted as the human run says", result["accepted"] == accepted)

        # Every diagnostic is a line of the human run's stderr.
        lines = [line for line in err_human.splitlines() if re.match(re.escape(path) + r"(:\d+:\d+)?: (warning|error): ", line)]
        from_json = []
        for d in result["diagnostics"]:
            place = path + (":%d:%d" % (d["line"], d["column"]) if d["line"] is not None else "")
            from_json.append("%s: %s: %s" % (place, d["severity"], d["message"]))
            check(name + ": diagnostic fields", d["file"] == path and d["severity"] in ("error", "warning")
                  and (d["line"] is None) == (d["column"] is None))
        check(name + ": diagnostics are the human lines", from_json == lines, "%r\n%r" % (from_json, lines))

        if accepted:
            shown = human_settings(summary)
            check(name + ": every setting the human run shows", [s["name"] for s in result["settings"]] == list(shown))
            for s in result["settings"]:
                human = shown[s["name"]]
                if not s["present"]:
                    expected = "absent" if s["kind"] != "number" else "absent (the setup program takes %d)" % s["setupDefault"]
                elif s["kind"] == "text":
                    expected = '"%s"' % shown_like_check(s["value"])
                elif s["kind"] == "number":
                    expected = str(s["value"])
                else:
                    expected = 'present ("%s"; any value counts)' % shown_like_check(s["value"])
                check("%s: %s as the human run shows it" % (name, s["name"]), human == expected, "%r %r" % (human, expected))
            functions = re.findall(r"^  (\w+)\(([^)]*)\) +\d+ parameters?$", summary, re.M)
            check(name + ": functions", [(f["name"], f["parameters"]) for f in result["functions"]]
                  == [(n, [p for p in ps.split(", ") if p]) for n, ps in functions], repr(result["functions"]))
        else:
            check(name + ": no settings when rejected", result["settings"] is None and result["functions"] is None)

        if options and accepted:
            run_part = result["run"]
            check(name + ": the dry run is there", run_part is not None and run_part["function"] == options[1])
            if run_part is None:
                continue
            human_lines = out_human.splitlines()
            if run_part["found"]:
                returned = re.match(r"^%s returned (-?\d+)$" % options[1], human_lines[-1])
                check(name + ": the result", returned and int(returned.group(1)) == run_part["returned"], out_human)
                check(name + ": the calls", run_part["calls"] == human_lines[:-1], "%r %r" % (run_part["calls"], human_lines))
                check(name + ": scriptError as the exit code says", run_part["scriptError"] == (rc == 1))
            else:
                check(name + ": no result", run_part["returned"] is None and run_part["calls"] == [])
        else:
            check(name + ": no dry run", result["run"] is None)

    # Values as the setup reads them, converted from Windows-1252.
    path = os.path.join(work, "accepted-warnings.ini")
    result = json.loads(run(tool, "check", "--json", path)[1])
    values = {s["name"]: s["value"] for s in result["settings"]}
    check("check: a Windows-1252 value as UTF-8", values["Product"] == 'Caf\u00e9 "Q"', repr(values["Product"]))
    check("check: an LF-only value with its line feed", values["LogPath"].startswith("%WINDIR%\n// CompanyEmail"), repr(values["LogPath"]))
    check("check: blanks around = leave Company out", values["Company"] is None)
    check("check: NoLicense= 1 reads 0", values["NoLicense"] == 0)
    kinds = [(d["line"], d["severity"]) for d in result["diagnostics"]]
    check("check: a warning for each faulty line, in line order", kinds == [(1, "warning"), (3, "warning"), (4, "warning"), (5, "warning")], repr(kinds))


def test_package_entries(tool, stub, work):
    """check --package: each built-in whose entry the package lacks, warned of
    at its call, with and without --run; the exit code stays 0."""
    root = os.path.join(work, "entries-tree")
    write_tree(root, {"Install.ini": SCRIPT, "Bin/tool.exe": b"MZ", "Docs/Manual.txt": b"m"})
    setup = os.path.join(work, "entries.exe")
    run(tool, "pack", root, "-o", setup, "--stub", stub, "--no-uninstaller")
    script = os.path.join(work, "entries.ini")
    with open(script, "wb") as f:
        f.write(b"// Company=Acme\r\n"
                b"init() { if (version(\"Bin\\\\Tool.EXE\", \"x\") == -1) return 0; return 1; }\r\n"
                b"install()\r\n{\r\n"
                b"    copy(\"bin/tool.exe\", \"%APPDIR%\\\\tool.exe\");\r\n"          # slashes: no such entry
                b"    copy(\"Docs\\\\Manual.txt\", \"%APPDIR%\\\\Manual.txt\");\r\n"
                b"    copyshared(\"Docs\", \"%WINSYSDIR%\\\\x\", \"x\");\r\n"             # a folder
                b"    if (msgboxyesno(\"More?\"))\r\n        installdriver(\"Drivers\\\\a.sys\", \"%DRIVERDIR%\\\\a.sys\", \"A\");\r\n"
                b"    prefskey(\"Software\\\\Acme\");\r\n"                                  # a key, no entry
                b"    copyfolder(\"Docs\", \"%APPDIR%\\\\Docs\");\r\n"                     # a folder: fine
                b"    copyfolder(\"Docs\\\\Manual.txt\", \"%APPDIR%\\\\Docs\");\r\n"       # a file
                b"    return 1;\r\n}\r\n")
    expected = [(5, 'copy: the package has no file "bin/tool.exe"'),
                (7, 'copyshared: the package has no file "Docs" (that is a folder)'),
                (9, 'installdriver: the package has no file "Drivers\\\\a.sys"'),
                (12, 'copyfolder: the package has no folder "Docs\\\\Manual.txt" (that is a file)')]
    for options in ([], ["--run", "install"]):
        rc, out, err = run(tool, "check", script, "--package", setup, *options)
        found = [(int(m.group(1)), m.group(2)) for m in
                 re.finditer(re.escape(script) + r":(\d+):\d+: warning: (\w+: the package has no (?:file|folder) \"[^\"]*\"(?: \(that is a (?:folder|file)\))?)", err)]
        label = "check --package " + " ".join(options)
        check(label + ": exit code 0", rc == 0, err)
        check(label + ": a warning at each call whose entry is missing, none for prefskey", found == expected, repr(found) + err)
        rc, out, err = run(tool, "check", "--json", script, "--package", setup, *options)
        lines = [(d["line"], d["message"].split(", so")[0]) for d in json.loads(out)["diagnostics"]]
        check(label + " --json: the same warnings", lines == expected, repr(lines))
    rc, out, err = run(tool, "check", script, "--package", os.path.join(work, "missing.exe"))
    check("check --package of a missing file: exit code 2", rc == 2 and "missing.exe" in err, err)


def test_verify(tool, stub, work):
    root = os.path.join(work, "verify-tree")
    write_tree(root, {"Install.ini": SCRIPT, "Bin/a.txt": b"a" * 1000, "Docs/b.txt": b"b"})
    setup = os.path.join(work, "verify.exe")
    run(tool, "pack", root, "-o", setup, "--stub", stub, "--no-uninstaller")
    damaged = os.path.join(work, "verify-damaged.exe")
    data = bytearray(open(setup, "rb").read())
    data[-60] ^= 0xFF
    open(damaged, "wb").write(bytes(data))
    for name, path, code in [("sound", setup, 0), ("damaged", damaged, 1), ("no package", stub, 1),
                             ("missing", os.path.join(work, "missing.exe"), 2)]:
        rc_human, out_human, err_human = run(tool, "verify", path)
        rc, out, err = run(tool, "verify", "--json", path)
        check("verify %s: exit code %d, as the human run" % (name, code), rc == rc_human == code, "%d %d" % (rc, rc_human))
        check("verify %s: the same error line" % name, err == err_human, err)
        report = document("verify " + name, out)
        if report is None:
            continue
        check("verify %s: failure is the error line" % name,
              (report["failure"] is None) == (err == "") and (report["failure"] is None or err.endswith(report["failure"] + "\n")),
              repr(report["failure"]) + " " + err)
        if not report["readable"]:
            check("verify %s: unreadable, with the reason" % name, report["problem"] and report["package"] is None)
            continue
        package = report["package"]
        sound = re.match(r"^package: sound, (\d+) files and (\d+) folders \((\d+) bytes\)", out_human)
        check("verify %s: package as the human run says" % name,
              package["sound"] == bool(sound) and (not sound or (package["files"], package["folders"], package["fileBytes"])
                                                   == tuple(int(g) for g in sound.groups())), repr(package) + out_human)
        if not sound:
            state = "damaged" if package["present"] else "none"
            check("verify %s: the problem as shown" % name, ("package: %s: %s\n" % (state, package["problem"])) in out_human, out_human)
        check("verify %s: a package present unless there is none" % name, package["present"] == (name != "no package"))
        check("verify %s: PE checksum state" % name, report["peChecksum"]["state"] in ("correct", "wrong", "unset", "none"))
        if "correct\n" in out_human.split("PE checksum: ")[1].split("\n")[0] + "\n":
            check("verify %s: a correct checksum" % name, report["peChecksum"]["state"] == "correct"
                  and report["peChecksum"]["stored"] == report["peChecksum"]["computed"])
        check("verify %s: no signature" % name, report["signature"]["state"] == "none" and "signature: none" in out_human)
    report = json.loads(run(tool, "verify", "--json", setup)[1])
    check("verify: the real counts", (report["package"]["files"], report["package"]["folders"], report["package"]["fileBytes"])
          == (3, 2, len(SCRIPT) + 1001), repr(report["package"]))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tool", required=True)
    parser.add_argument("--make-stub", required=True)
    options = parser.parse_args()
    with tempfile.TemporaryDirectory() as work:
        stub = os.path.join(work, "stub.exe")
        subprocess.run([options.make_stub, stub], check=True)
        lists = os.path.join(work, "lists")
        os.mkdir(lists)
        test_list(options.tool, options.make_stub, stub, lists)
        test_check(options.tool, work)
        test_package_entries(options.tool, stub, work)
        test_verify(options.tool, stub, work)
    return summary()


if __name__ == "__main__":
    sys.exit(main())
