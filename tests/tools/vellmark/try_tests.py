#!/usr/bin/env python3
"""vellmark try from the outside, as a publisher runs it.

usage: try_tests.py --tool VELLMARK --root ROOT --usage
       try_tests.py --tool VELLMARK --root ROOT --bin DIR --win64 DIR [--work DIR] [--docs-picture FILE]

--usage: the command lines `try` refuses before it starts wine (no setup,
two of them, a bad --windows, a file that is no Windows program, a 32-bit
setup without wine32, no display and no Xvfb); no wine runs (CTest's
tool_try_usage_tests).

Otherwise (scripts/test; the tool finds the UI driver beside it) the tries
themselves, each in its own throw-away prefix:
  - examples/acme-tool, unattended, with --report: clean (exit 0), the
    files named after their package entries, the shortcuts' targets, the
    Programs and Features entry, the remains marked as expected; the text is
    the report's try.txt, the JSON document says the same as the text, the
    guide's transcript of it (docs/packaging.md) is what it printed, and the
    page renders in Chromium (its DOM holds every change, the screenshot is
    no blank page);
  - a package whose script copies a file while logging is off, with --json:
    the file and its folders are flagged as left behind (exit 1);
  - a package with a driver (tests/ui/packages/full): its service listed,
    3010 from the setup and the removal, clean;
  - a package whose install returns 0: exit code 1603 shown, nothing left;
    packed and tried by the tool laid out as an installation lays it out
    (PREFIX/bin/vellmark, PREFIX/share/vellmark/win64 and .../python), with
    nothing of the build tree beside it;
  - a damaged package: exit code 1620;
  - examples/acme-tool with --wizard: a picture of every page and of the
    uninstaller's dialog, none of them blank, the removal through the
    dialog, clean.
Prints ok/FAIL per check and "N passed, M failed"; exits 1 when one failed.
"""

import argparse
import html.parser
import json
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile

Checks = {"passed": 0, "failed": 0}


def check(name, condition, detail=""):
    if condition:
        Checks["passed"] += 1
        print("ok    %s" % name)
    else:
        Checks["failed"] += 1
        print("FAIL  %s%s" % (name, ("\n      " + detail.replace("\n", "\n      ")) if detail else ""))
    return condition


def run(command, cwd=None, env=None, timeout=600):
    result = subprocess.run(command, cwd=cwd, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            timeout=timeout, check=False)
    return result.returncode, result.stdout.decode("utf-8", "replace"), result.stderr.decode("utf-8", "replace")


# --- without wine --------------------------------------------------------------

def fake_program(path, machine):
    """The first bytes of a Windows program for MACHINE: enough for `try` to
    tell its architecture (it never runs)."""
    head = bytearray(0x200)
    head[0:2] = b"MZ"
    struct.pack_into("<I", head, 0x3C, 0x80)
    head[0x80:0x84] = b"PE\0\0"
    struct.pack_into("<H", head, 0x84, machine)
    with open(path, "wb") as f:
        f.write(head)


def usage_checks(tool, work):
    stub_dir = os.path.join(work, "stubs")
    os.makedirs(stub_dir)
    fake_program(os.path.join(stub_dir, "uidriver.exe"), 0x8664)  # found, never started
    env = dict(os.environ, VELLMARK_STUB_DIR=stub_dir)
    win64 = os.path.join(work, "setup64.exe")
    win32 = os.path.join(work, "setup32.exe")
    fake_program(win64, 0x8664)
    fake_program(win32, 0x014C)
    text = os.path.join(work, "readme.txt")
    with open(text, "w") as f:
        f.write("not a program\n")

    cases = [
        ("no setup", [], 2, "vellmark try: no SETUP.exe given (see 'vellmark try --help')"),
        ("two setups", [win64, "other.exe"], 2,
         "vellmark try: one SETUP.exe only; 'other.exe' and the rest go to the setup after -- "
         "(see 'vellmark try --help')"),
        ("no such setup", [os.path.join(work, "none.exe")], 2,
         "vellmark try: %s: no such file" % os.path.join(work, "none.exe")),
        ("a bad --windows", [win64, "--windows", "win12"], 2,
         "vellmark try: --windows takes one of win11 win10 win81 win8 win2008r2 win7 win2008 vista win2003 "
         "winxp64 winxp win2k winme win98 win95 nt40 nt351 win31 win30 win20, not 'win12'"),
        ("an unknown option", [win64, "--silent"], 2,
         "vellmark try: unknown option '--silent' (see 'vellmark try --help')"),
        ("no Windows program", [text], 2, "vellmark try: %s: not a Windows program" % text),
    ]
    for name, arguments, status, message in cases:
        code, out, err = run([tool, "try"] + arguments, env=env)
        check("usage: %s" % name, code == status and err.strip().endswith(message) and out == "",
              "exit %d, stdout %r, stderr %r; expected exit %d and %r" % (code, out, err, status, message))

    code, out, err = run([tool, "try", "--help"], env=env)
    check("usage: --help", code == 0 and out.startswith("usage: vellmark try SETUP.exe") and "--wizard" in out
          and "Exit status" in out, out + err)

    # Without a display and without Xvfb on PATH (python3 and wine are
    # found where Debian puts them).
    bare = dict(env, PATH=os.path.join(work, "no-such-folder"))
    bare.pop("DISPLAY", None)
    code, out, err = run([tool, "try", win64], env=bare)
    check("usage: no display and no Xvfb names the package",
          code == 2 and "there is no $DISPLAY and Xvfb is not installed: xvfb (apt-get install xvfb)" in err,
          "exit %d: %s" % (code, err))

    has_wine32 = any(os.access(p, os.X_OK) for p in ("/usr/lib/wine/wine", "/usr/lib/i386-linux-gnu/wine/wine"))
    if has_wine32:
        print("skip  usage: a 32-bit setup without wine32 (this machine has wine32)")
    else:
        code, out, err = run([tool, "try", win32], env=env)
        check("usage: a 32-bit setup without wine32 names the package",
              code == 2 and "the setup is a 32-bit program" in err and "apt-get install wine32" in err,
              "exit %d: %s" % (code, err))


# --- the tries -------------------------------------------------------------------

def normalised(lines):
    """The uninstaller's size changes with every build of it."""
    return [re.sub(r"(vuninst\.exe )\d+( bytes)", r"\1N\2", line) for line in lines]


def guide_transcript(root, command):
    """The output the guide shows after `$ COMMAND` in docs/packaging.md."""
    with open(os.path.join(root, "docs", "packaging.md"), encoding="utf-8") as f:
        lines = f.read().split("\n")
    if "$ " + command not in lines:
        return None
    at = lines.index("$ " + command)
    shown = []
    for line in lines[at + 1:]:
        if line.startswith("```") or line.startswith("$ "):
            break
        shown.append(line)
    while shown and not shown[-1].strip():
        shown.pop()
    return shown


def matches_with_gaps(expected, actual):
    """True when ACTUAL is EXPECTED, where a line "..." in EXPECTED stands for
    any run of lines (the guide shortens a long transcript so)."""
    def match(e, a):
        if e == len(expected):
            return a == len(actual)
        if expected[e] == "...":
            return any(match(e + 1, k) for k in range(a, len(actual) + 1))
        return a < len(actual) and expected[e] == actual[a] and match(e + 1, a + 1)
    return match(0, 0)


def text_says_json(name, text, document):
    """Every change, remain, exit code and the verdict of the JSON document
    stand in the text, in their sections."""
    lines = text.split("\n")
    problems = []

    def section(title):
        try:
            start = lines.index(title)
        except ValueError:
            problems.append("no line %r" % title)
            return []
        end = next((k for k in range(start + 1, len(lines)) if lines[k].startswith("== ")), len(lines))
        return lines[start:end]

    installed = section("== what the installation changed")
    groups = document["installation"]
    for key, title in (("files", "files"), ("folders", "folders"), ("shortcuts", "shortcuts"),
                       ("registry", "registry keys and values"), ("start_entries", "start-up entries (Run, RunOnce)")):
        items = groups[key]
        head = "-- %s (%d)" % (title, len(items)) if items else "-- %s: none" % title
        if head not in installed:
            problems.append("no line %r" % head)
        for item in items:
            if "  " + item["shown"] not in installed:
                problems.append("%s: no line %r" % (key, item["shown"]))
    for item in groups["shortcuts"]:
        target = item.get("url") if item["kind"] == "internet shortcut" else item.get("target")
        label = "url" if item["kind"] == "internet shortcut" else "target"
        if "         %s: %s" % (label, target) not in installed:
            problems.append("shortcut %s: its %s %r is not shown" % (item["path"], label, target))
    for entry in groups["uninstall_entries"]:
        if "-- Programs and Features entry: %s (%s)" % (entry["key"], entry["change"]) not in installed:
            problems.append("the entry %s is not shown" % entry["key"])
        for value in entry["values"]:
            data = value["data"][1:-1] if value["data"].startswith('"') else value["data"]
            if not any(re.fullmatch(r"  %s +%s" % (re.escape(value["name"]), re.escape(data)), l) for l in installed):
                problems.append("entry value %s is not shown" % value["name"])
    left = section("== what the removal left behind" if document["removal"]["ran"] else "== what the run left behind")
    for item in document["left_behind"]:
        mark = "expected" if item["expected"] else "LEFTOVER"
        if "  %s  %s" % (mark, item["shown"]) not in left:
            problems.append("left behind: no line %r" % item["shown"])
    run = document["setup_run"]
    if "exit code %s: %s" % (run["exit_code"], run["meaning"]) not in lines:
        problems.append("the setup's exit code is not shown")
    if "== result: %s (exit %d)" % (document["verdict"], document["exit_code"]) not in lines:
        problems.append("the verdict is not shown")
    check("%s: the text says what the JSON document says" % name, not problems, "\n".join(problems))


class PageReader(html.parser.HTMLParser):
    """What a check needs of a report page's DOM: texts by element id, the
    cells of every table, the tags and the pictures."""

    def __init__(self):
        super().__init__()
        self.ids = {}
        self.cells = []
        self.tags = []
        self.images = []
        self._open = []

    def handle_starttag(self, name, attributes):
        attributes = dict(attributes)
        if name == "img":
            self.images.append(attributes)
            return
        self._open.append([name, attributes, ""])

    def handle_endtag(self, name):
        while self._open:
            open_name, attributes, text = self._open.pop()
            if self._open:
                self._open[-1][2] += text
            if "id" in attributes:
                self.ids[attributes["id"]] = text
            if open_name == "td":
                self.cells.append(text)
            if open_name == "span" and "tag" in attributes.get("class", ""):
                self.tags.append(text)
            if open_name == name:
                break

    def handle_data(self, data):
        if self._open:
            self._open[-1][2] += data


def chromium(url, work, *arguments):
    profile = tempfile.mkdtemp(dir=work, prefix="chromium-")
    command = ["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
               "--disable-background-networking", "--disable-component-update", "--disable-sync",
               "--user-data-dir=" + profile] + list(arguments) + [url]
    try:
        return run(command, timeout=120)
    finally:
        shutil.rmtree(profile, ignore_errors=True)


def colours(png):
    """The number of colours of a picture (ImageMagick), 0 when it cannot be read."""
    code, out, _ = run(["identify", "-format", "%k", png])
    return int(out) if code == 0 and out.strip().isdigit() else 0


def page_checks(name, report_dir, document, work):
    url = "file://" + os.path.join(report_dir, "index.html")
    code, dom, err = chromium(url, work, "--dump-dom")
    reader = PageReader()
    reader.feed(dom)
    check("%s: Chromium renders the page" % name, code == 0 and "</html>" in dom, err[-2000:])
    check("%s: the page's verdict" % name,
          reader.ids.get("verdict", "").strip() == "%s (exit %d)" % (document["verdict"], document["exit_code"]),
          repr(reader.ids.get("verdict")))
    missing = []
    groups = document["installation"]
    for key in ("files", "folders", "shortcuts"):
        for item in groups[key]:
            if item["path"] not in reader.cells:
                missing.append(item["path"])
    for item in groups["registry"]:
        if item["key"] not in reader.cells:
            missing.append(item["key"])
    for entry in groups["uninstall_entries"]:
        for value in entry["values"]:
            if value["data"] not in reader.cells:
                missing.append("%s = %s" % (value["name"], value["data"]))
    check("%s: the page lists every change" % name, not missing, "\n".join(missing))
    check("%s: the page marks every remain" % name,
          reader.tags.count("leftover") == document["leftovers"] and
          reader.tags.count("expected") == len(document["left_behind"]) - document["leftovers"],
          "tags %r" % reader.tags)
    inline = [i for i in reader.images if i.get("src", "").startswith("data:image/png;base64,")]
    check("%s: the page carries its %d pictures inline" % (name, len(document["pictures"])),
          len(inline) == len(reader.images) == len(document["pictures"]), "%d images" % len(reader.images))
    shot = os.path.join(work, name + "-page.png")
    code, _, err = chromium(url, work, "--window-size=1200,1500", "--screenshot=" + shot)
    count = colours(shot) if os.path.isfile(shot) else 0
    check("%s: the page's screenshot is no blank page" % name, code == 0 and count > 64,
          "exit %d, %d colours: %s" % (code, count, err[-500:]))
    return shot


def pack(tool, folder, output):
    env = dict(os.environ)
    env.pop("VELLMARK_STUB_DIR", None)
    env.pop("VELLMARK_SHARE_DIR", None)
    code, out, err = run([tool, "pack", folder, "-o", output, "--arch", "win64"], env=env)
    if code != 0:
        raise SystemExit("try_tests: packing %s failed: %s" % (folder, err))


def try_acme(tool, root, work):
    name = "acme"
    command = "vellmark try AcmeTool-Setup.exe --report acme-report"
    code, text, err = run([tool] + command.split()[1:], cwd=work)
    report = os.path.join(work, "acme-report")
    check("acme: clean, exit 0", code == 0, err + text)
    with open(os.path.join(report, "try.txt"), encoding="utf-8") as f:
        check("acme: the text is the report's try.txt", f.read() == text)
    with open(os.path.join(report, "try.json"), encoding="utf-8") as f:
        document = json.load(f)
    text_says_json(name, text, document)

    groups = document["installation"]
    files = {(i["path"], i["package_file"]) for i in groups["files"]}
    program = "C:\\Program Files\\Acme\\Acme Tool"
    expected = {(program + "\\acmetool.exe", "Bin\\acmetool.exe"), (program + "\\ReadMe.txt", "ReadMe.txt"),
                (program + "\\Docs\\Manual.txt", "Docs\\Manual.txt"),
                (program + "\\Docs\\Release Notes.txt", "Docs\\Release Notes.txt"),
                (program + "\\Samples\\welcome.acme", "Samples\\welcome.acme"),
                ("C:\\windows\\system32\\acmecore.dll", "System\\acmecore.dll"),
                ("C:\\windows\\vuninst.exe", "Uninstall.exe"), (program + "\\Acme Tool.log", None)}
    check("acme: the installed files, named after their entries", files == expected,
          "got %s" % sorted(files, key=str))
    menu = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Acme"
    shortcuts = {i["path"]: (i.get("target") or i.get("url"), i.get("arguments")) for i in groups["shortcuts"]}
    check("acme: the shortcuts and what they point at", shortcuts == {
        menu + "\\Acme Tool.lnk": (program + "\\acmetool.exe", None),
        menu + "\\Acme Tool\\Acme Tool (safe mode).lnk": (program + "\\acmetool.exe", "/safe"),
        menu + "\\Acme Tool\\Manual.lnk": (program + "\\Docs\\Manual.txt", None),
        menu + "\\Acme Tool\\Acme Tool on the Web.url": ("https://acme.example/tool", None),
        "C:\\users\\Public\\Desktop\\Acme Tool.lnk": (program + "\\acmetool.exe", None)}, repr(shortcuts))
    entries = groups["uninstall_entries"]
    values = {v["name"]: v["data"] for v in entries[0]["values"]} if len(entries) == 1 else {}
    check("acme: the Programs and Features entry with every value",
          len(entries) == 1 and entries[0]["name"] == "Acme Tool" and sorted(values) == sorted([
              "DisplayIcon", "DisplayName", "DisplayVersion", "EstimatedSize", "InstallLocation", "LogDigest", "NoModify",
              "NoRepair", "Publisher", "QuietUninstallString", "UninstallString", "URLInfoAbout"]) and
          values["DisplayName"] == '"Acme Tool 2"' and values["Publisher"] == '"Acme"', repr(entries))
    keys = {i["key"] for i in groups["registry"] if i["kind"] == "key"}
    classes = "HKLM\\Software\\Classes\\"
    check("acme: the product's, company's and shared files' keys, its Settings key and its file type",
          keys == {"HKLM\\Software\\Acme", "HKLM\\Software\\Acme\\Acme Tool", "HKLM\\Software\\Acme\\Shared Files",
                   "HKLM\\Software\\Acme\\Acme Tool\\Settings", classes + ".acme", classes + "Acme.Project",
                   classes + "Acme.Project\\DefaultIcon", classes + "Acme.Project\\shell",
                   classes + "Acme.Project\\shell\\open", classes + "Acme.Project\\shell\\open\\command"},
          repr(keys))
    environment = "HKLM\\System\\CurrentControlSet\\Control\\Session Manager\\Environment"
    path_changes = [i for i in groups["registry"] if i["kind"] == "value" and i["key"] == environment]
    check("acme: the program's folder added at the end of the machine's Path",
          len(path_changes) == 1 and path_changes[0]["name"].casefold() == "path" and
          path_changes[0]["change"] == "changed" and
          path_changes[0]["data"] == path_changes[0]["old_data"][:-1] + ';' + program + '"',
          repr(path_changes))
    remains = {(i["kind"], i.get("path") or i["key"], i.get("name"), i["expected"]) for i in document["left_behind"]}
    check("acme: only the expected remains", document["leftovers"] == 0 and remains == {
        ("file", "C:\\windows\\vuninst.exe", None, True), ("key", "HKLM\\Software\\Acme", None, True),
        ("value", "HKLM\\Software\\Acme", "URL", True), ("value", "HKLM\\Software\\Acme", "Email", True)},
        repr(remains))
    removal = document["removal"]
    check("acme: removed through the QuietUninstallString",
          removal["ran"] and removal["value"] == "QuietUninstallString" and removal["exit_code"] == 0 and
          removal["command_line"] == '"C:\\windows\\vuninst.exe" /S %s\\Acme Tool.log' % program, repr(removal))

    shown = guide_transcript(root, command)
    actual = normalised(err.rstrip("\n").split("\n") + text.rstrip("\n").split("\n"))
    check("acme: the guide shows what it printed (docs/packaging.md)",
          shown is not None and matches_with_gaps(normalised(shown), actual),
          "the guide:\n" + "\n".join(shown or ["(no $ %s)" % command]) + "\nprinted:\n" + "\n".join(actual))
    page_checks(name, report, document, work)


def try_leftover(tool, root, work):
    setup = os.path.join(work, "leftover-setup.exe")
    pack(tool, os.path.join(root, "tests", "tools", "vellmark", "try-packages", "leftover"), setup)
    code, out, err = run([tool, "try", setup, "--json"])
    try:
        document = json.loads(out)
    except ValueError:
        check("leftover: --json prints one JSON document", False, out + err)
        return
    folder = "C:\\Program Files\\Vellmark Tests\\Leftover"
    left = {(i["kind"], i.get("path")): i for i in document["left_behind"] if not i["expected"]}
    check("leftover: exit 1, the unlogged file and its folders are left behind",
          code == 1 and document["exit_code"] == 1 and document["setup_run"]["exit_code"] == 0 and
          set(left) == {("file", folder + "\\notes.txt"), ("dir", folder), ("dir", "C:\\Program Files\\Vellmark Tests")},
          "exit %d; %r" % (code, sorted(left)))
    notes = left.get(("file", folder + "\\notes.txt"), {})
    check("leftover: the file is not in the install log", notes.get("in_install_log") is False, repr(notes))
    check("leftover: the logged file went", not any(i.get("path") == folder + "\\readme.txt"
                                                   for i in document["left_behind"]))
    check("leftover: the verdict counts them", document["verdict"] == "the setup succeeded; 3 changes were left behind",
          document["verdict"])


def try_driver(tool, root, work):
    setup = os.path.join(work, "full-setup.exe")
    pack(tool, os.path.join(root, "tests", "ui", "packages", "full"), setup)
    code, text, err = run([tool, "try", setup, "--json"])
    try:
        document = json.loads(text)
    except ValueError:
        check("driver: --json prints one JSON document", False, text + err)
        return
    services = {g["name"]: {v["name"]: v["data"] for v in g["values"]} for g in document["installation"]["services"]}
    service = services.get("vmtdrv", {})
    check("driver: the driver's service is listed with its values",
          list(services) == ["vmtdrv"] and service.get("ImagePath") == '"\\SystemRoot\\System32\\drivers\\vmtdrv.sys"'
          and service.get("Start") == "dword:0x00000002", repr(services))
    check("driver: 3010 from both, and clean (the restart is no failure)",
          code == 0 and document["setup_run"]["exit_code"] == 3010 and document["removal"]["exit_code"] == 3010 and
          document["setup_run"]["meaning"].startswith("installed; Windows must be restarted") and
          document["leftovers"] == 0, "exit %d: %s" % (code, document["verdict"]))


def installed_tool(tool, win64, work):
    """The tool as `cmake --install` lays it out under PREFIX (ShippedFiles.h):
    PREFIX/bin/vellmark, the Windows programs in PREFIX/share/vellmark/win64,
    the Python programs in PREFIX/share/vellmark/python."""
    prefix = os.path.join(work, "installed")
    share = os.path.join(prefix, "share", "vellmark")
    os.makedirs(os.path.join(prefix, "bin"))
    shutil.copy2(tool, os.path.join(prefix, "bin", "vellmark"))
    os.makedirs(os.path.join(share, "win64"))
    for name in ("Setup.exe", "Uninstall.exe", "uidriver.exe"):
        shutil.copy2(os.path.join(win64, name), os.path.join(share, "win64", name))
    shutil.copytree(os.path.join(os.path.dirname(tool), "..", "share", "vellmark", "python"),
                    os.path.join(share, "python"))
    return os.path.join(prefix, "bin", "vellmark")


def try_failing(tool, root, work):
    setup = os.path.join(work, "fails-setup.exe")
    pack(tool, os.path.join(root, "tests", "ui", "packages", "install-fails"), setup)
    env = dict(os.environ)
    env.pop("VELLMARK_STUB_DIR", None)
    env.pop("VELLMARK_SHARE_DIR", None)
    code, text, err = run([tool, "try", setup], env=env)
    lines = text.split("\n")
    check("fails: exit 1 with the setup's 1603 and its meaning",
          code == 1 and "exit code 1603: the installation failed (install returned 0, or its log could not be "
          "written) and every change it made was undone; an earlier installation stays as it was" in lines and "  outcome: the installation failed and was undone (exit 1603)" in lines, text + err)
    check("fails: no removal, nothing left",
          "== the removal: not run (the setup registered no uninstall entry)" in lines and
          lines[lines.index("== what the run left behind") + 1] == "  nothing" and
          "== result: the setup failed (exit 1)" in lines, text)


def try_damaged(tool, bin_dir, work):
    setup = os.path.join(work, "AcmeTool-Setup.exe")
    damaged = os.path.join(work, "damaged-setup.exe")
    run([os.path.join(bin_dir, "make-test-package"), "flip", setup, damaged])
    code, text, err = run([tool, "try", damaged])
    lines = text.split("\n")
    check("damaged: exit 1 with the setup's 1620",
          code == 1 and any(l.startswith("exit code 1620: the package is damaged") for l in lines) and
          any(l.startswith("package: not readable by vellmark extract") for l in lines), text + err)


def try_wizard(tool, work, docs_picture):
    name = "wizard"
    report = os.path.join(work, "wizard-report")
    code, text, err = run([tool, "try", "AcmeTool-Setup.exe", "--wizard", "--report", report], cwd=work)
    with open(os.path.join(report, "try.json"), encoding="utf-8") as f:
        document = json.load(f)
    check("wizard: clean, exit 0", code == 0 and document["leftovers"] == 0, text + err)
    pages = [l for l in document["setup_run"]["driver"] if l.startswith("page ")]
    check("wizard: every page walked", pages == ['page " Welcome "', 'page " License Agreement "',
                                               'page " Destination folder "', 'page " Install "',
                                               'page " Finished "'], repr(pages))
    names = [p["file"] for p in document["pictures"]]
    check("wizard: a picture of every page and of the uninstaller's dialog", names == [
        "01-welcome.png", "02-license-agreement.png", "03-destination-folder.png", "04-install.png",
        "05-finished.png", "06-uninstall.png"], repr(names))
    blank = []
    for picture in document["pictures"]:
        path = os.path.join(report, "pictures", picture["file"])
        count = colours(path)
        if count < 16 or picture["width"] < 300 or picture["height"] < 200:
            blank.append("%s: %d colours, %dx%d" % (picture["file"], count, picture["width"], picture["height"]))
    check("wizard: no picture is blank", not blank and names, "\n".join(blank))
    removal = document["removal"]
    check("wizard: removed through the UninstallString and its dialog",
          removal["ran"] and removal["value"] == "UninstallString" and removal["exit_code"] == 0 and
          'wizard "Uninstall v1.0"' in removal["driver"], repr(removal))
    text_says_json(name, text, document)
    shot = page_checks(name, report, document, work)
    if docs_picture and os.path.isfile(shot):
        shutil.copyfile(shot, docs_picture)
        print("      the page's screenshot is now %s" % docs_picture)


def main():
    parser = argparse.ArgumentParser(prog="try_tests.py")
    parser.add_argument("--tool", required=True)
    parser.add_argument("--root", required=True)
    parser.add_argument("--usage", action="store_true")
    parser.add_argument("--bin")
    parser.add_argument("--win64")
    parser.add_argument("--work")
    parser.add_argument("--docs-picture")
    args = parser.parse_args()
    tool = os.path.abspath(args.tool)
    root = os.path.abspath(args.root)
    work = os.path.abspath(args.work) if args.work else tempfile.mkdtemp(prefix="vellmark-try-tests.")
    os.makedirs(work, exist_ok=True)
    try:
        if args.usage:
            usage_checks(tool, work)
        else:
            pack(tool, os.path.join(root, "examples", "acme-tool"), os.path.join(work, "AcmeTool-Setup.exe"))
            try_acme(tool, root, work)
            try_leftover(tool, root, work)
            try_driver(tool, root, work)
            try_failing(installed_tool(tool, os.path.abspath(args.win64), work), root, work)
            try_damaged(tool, os.path.abspath(args.bin), work)
            try_wizard(tool, work, args.docs_picture)
    finally:
        if not args.work:
            shutil.rmtree(work, ignore_errors=True)
    print("%d passed, %d failed" % (Checks["passed"], Checks["failed"]))
    return 1 if Checks["failed"] else 0


if __name__ == "__main__":
    sys.exit(main())
