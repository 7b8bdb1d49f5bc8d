"""vellmark try: installs a setup in a throw-away wine prefix, removes it with
the uninstall command it registered, and reports what each step changed.
`vellmark try` (tools/vellmark/TryCommand.cpp) reads the command line and
starts this program with what it found:

    vellmark_try.py --tool VELLMARK --uidriver UIDRIVER.exe --setup SETUP.exe
                    --exit-codes JSON [--wizard] [--windows VERSION]
                    [--report DIR] [--json] [--keep] -- [SETUP-ARGS...]

The steps: a prefix (try_run.Machine), the package's files (`vellmark
extract`, so that installed files are named after their entries), a
snapshot, the setup (with /S /LOG=, or the wizard walked by the UI driver),
a snapshot, the removal through the entry's QuietUninstallString (or its
UninstallString and dialog), a snapshot; then the prefix goes and the report
is made (try_report.py, try_html.py).  Exit status as the tool's: 0 clean, 1
failed or left something, 2 when the try could not be made.
"""

import argparse
import json
import os
import re
import shutil
import subprocess
import sys

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.realpath(__file__)))

import prefix_snapshot  # noqa: E402
import shell_link  # noqa: E402
import try_html  # noqa: E402
import try_report  # noqa: E402
from picture import PictureError, bmp_to_png  # noqa: E402
from snapshot_compare import compare  # noqa: E402
from try_run import Machine, TryError, check_tools, image_architecture, install_signal_handlers  # noqa: E402

DefaultWindows = "win10"
# How long one wait of the UI driver may last (the installation or the
# removal of a large product included), and the whole run of the driver.
DriverWaitSeconds = 600
DriverRunSeconds = 900

UninstallKeys = re.compile(r"HKLM\\Software\\(?:Wow6432Node\\)?Microsoft\\Windows\\CurrentVersion\\Uninstall\\[^\\]+\Z",
                           re.IGNORECASE)


def progress(text):
    print("vellmark try: %s" % text, file=sys.stderr, flush=True)


def read_arguments(argv):
    setup_args = []
    if "--" in argv:
        at = argv.index("--")
        argv, setup_args = argv[:at], argv[at + 1:]
    parser = argparse.ArgumentParser(prog="vellmark try")
    parser.add_argument("--tool", required=True)
    parser.add_argument("--uidriver", required=True)
    parser.add_argument("--setup", required=True)
    parser.add_argument("--exit-codes", required=True)
    parser.add_argument("--wizard", action="store_true")
    parser.add_argument("--windows", default=DefaultWindows)
    parser.add_argument("--report")
    parser.add_argument("--json", action="store_true")
    parser.add_argument("--keep", action="store_true")
    args = parser.parse_args(argv)
    args.setup_args = setup_args
    return args


def command_words(arguments):
    """SETUP-ARGS as a command line: a word with blanks in quotes, except /D=,
    which takes the rest of the line as it stands."""
    words = []
    for word in arguments:
        if " " in word and not word[:3].upper() == "/D=":
            word = '"%s"' % word
        words.append(word)
    return " ".join(words)


def setup_name(path):
    """The setup's file name as the programs see it: its own, when Windows-1252
    can spell it."""
    name = os.path.basename(path)
    try:
        name.encode("cp1252")
        return name
    except UnicodeEncodeError:
        return "Setup.exe"


def extract_package(tool, setup, folder):
    """The package's files in FOLDER, or the reason they are not there."""
    result = subprocess.run([tool, "extract", setup, "-d", folder], stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, check=False)
    if result.returncode != 0:
        shutil.rmtree(folder, ignore_errors=True)
        return result.stderr.decode("utf-8", errors="replace").strip().split("\n")[-1]
    return None


def read_install_log(tool, host_file):
    """The install log's entries (`vellmark log --json`), or None."""
    if host_file is None or not os.path.isfile(host_file):
        return None
    result = subprocess.run([tool, "log", "--json", host_file], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                            check=False)
    try:
        return json.loads(result.stdout.decode("utf-8"))["entries"]
    except (ValueError, KeyError):
        return None


def registered_log_path(uninstall_string):
    """The log path of a registered `"C:\\WINDOWS\\vuninst.exe" [/S] LOGPATH`."""
    text = uninstall_string.strip()
    if text.startswith('"'):
        text = text[text.find('"', 1) + 1:]
    else:
        text = text.partition(" ")[2]
    text = text.strip()
    if text[:3].upper() == "/S ":
        text = text[3:].strip()
    return text.strip('"') or None


def value_text(rendered):
    """The text of a REG_SZ value as the snapshot spells it ("..."), else None."""
    if rendered and rendered.startswith('"') and rendered.endswith('"'):
        return rendered[1:-1]
    return None


class Try:
    """One try, step by step; what each step found stays for the report."""

    def __init__(self, args):
        self.args = args
        self.meanings = json.loads(args.exit_codes)
        self.mode = "wizard" if args.wizard else "unattended"
        self.machine = None
        self.package_folder = None
        self.package_problem = None
        self.setup_run = None
        self.setup_command = None
        self.transcript = []
        self.shortcuts = {}
        self.install_log = None
        self.entries = []
        self.removal = None
        self.snapshots = []
        self.pictures = []

    def run(self):
        args = self.args
        architecture = image_architecture(args.setup)
        check_tools(architecture, display_needed=not os.environ.get("DISPLAY"))
        self.architecture = architecture
        self.machine = Machine(args.windows, keep=args.keep)
        try:
            self.steps()
        finally:
            self.machine.close()
            if args.keep:
                progress("the work folder is kept: %s" % self.machine.work)

    def snapshot(self):
        sources = [self.package_folder] if self.package_folder else []
        try:
            snap = prefix_snapshot.take_snapshot(self.machine.prefix, sources, self.cache)
        except prefix_snapshot.SnapshotError as error:
            raise TryError("the snapshot failed: %s" % error) from None
        self.snapshots.append(snap)
        return snap

    def steps(self):
        machine = self.machine
        progress("a fresh wine prefix (wineboot --init), Windows %s" % self.args.windows)
        machine.start()
        setup = machine.transfer_file(setup_name(self.args.setup))
        shutil.copyfile(self.args.setup, setup)
        folder = os.path.join(machine.work, "package")
        self.package_problem = extract_package(self.args.tool, self.args.setup, folder)
        self.package_folder = None if self.package_problem else folder
        self.cache = prefix_snapshot.HashCache()
        before = self.snapshot()

        progress("the setup (%s)" % ("walking its wizard" if self.mode == "wizard" else "/S"))
        self.run_setup(setup)
        installed = self.snapshot()
        changes = compare(before, installed)
        self.read_installation(changes)

        entry = self.entry_to_run()
        if entry is not None:
            progress("the removal (%s)" % entry["value"])
            self.run_removal(entry)
            self.snapshot()
        self.convert_pictures()

    # --- the setup -----------------------------------------------------------

    def run_setup(self, setup):
        machine = self.machine
        shown = machine.windows_path(setup)
        extra = command_words(self.args.setup_args)
        if self.mode == "unattended":
            transcript = machine.transfer_file("setup-log.txt")
            line = "/S /LOG=%s" % machine.windows_path(transcript) + (" " + extra if extra else "")
            commands = ["start-line \"%s\" %s" % (shown, line), "wait-exit"]
        else:
            transcript = None
            line = extra
            os.makedirs(machine.transfer_file("pictures"), exist_ok=True)
            start = "start-line \"%s\" %s" % (shown, line) if line else "start \"%s\"" % shown
            commands = [start, "walk %s" % machine.windows_path(machine.transfer_file("pictures")), "wait-exit"]
        self.setup_command = ("%s %s" % (os.path.basename(setup), line)).strip()
        self.setup_run = machine.run_driver(self.args.uidriver, "setup", commands, DriverWaitSeconds,
                                            DriverRunSeconds)
        if transcript and os.path.isfile(transcript):
            with open(transcript, "rb") as f:
                self.transcript = f.read().decode("cp1252", errors="replace").replace("\r", "").splitlines()

    def read_installation(self, changes):
        """What must be read while the product is there: the shortcuts'
        targets, the install log, the uninstall entries."""
        for change in changes:
            if change.kind == "file" and change.new is not None:
                host = prefix_snapshot.host_path(self.machine.prefix, change.path)
                if host and os.path.isfile(host):
                    with open(host, "rb") as f:
                        found = shell_link.read_shortcut(change.path, f.read())
                    if found is not None:
                        self.shortcuts[change.path.casefold()] = found
        installed = self.snapshots[-1]
        for change in changes:
            if change.kind == "key" and change.sign == "+" and UninstallKeys.match(change.path):
                folded = change.path.casefold()
                values = {name: data for (key, _), (_, name, data) in installed.values.items() if key == folded}
                self.entries.append({"key": change.path, "values": values})
        for entry in self.entries:
            uninstall = value_text(entry["values"].get("UninstallString"))
            log = registered_log_path(uninstall) if uninstall else None
            if log and self.install_log is None:
                self.install_log = read_install_log(self.args.tool,
                                                    prefix_snapshot.host_path(self.machine.prefix, log))

    # --- the removal ---------------------------------------------------------

    def entry_to_run(self):
        """The first uninstall entry the setup registered, with the value this
        mode starts; None (and the reason in self.removal) without one."""
        value = "UninstallString" if self.mode == "wizard" else "QuietUninstallString"
        if not self.entries:
            self.removal = {"ran": False, "why": "the setup registered no uninstall entry"}
            return None
        entry = self.entries[0]
        if value_text(entry["values"].get(value)) is None:
            self.removal = {"ran": False, "why": "the uninstall entry %s has no %s" % (entry["key"], value)}
            return None
        return {"key": entry["key"], "value": value}

    def run_removal(self, entry):
        key = entry["key"].split("\\", 1)[1]  # the driver's key below HKEY_LOCAL_MACHINE
        commands = ["start-registered \"%s\" %s" % (key, entry["value"])]
        if self.mode == "wizard":
            picture = "%02d-uninstall.bmp" % (self.picture_count() + 1)
            commands += ["wizard",
                         "screenshot %s" % self.machine.windows_path(
                             os.path.join(self.machine.transfer_file("pictures"), picture)),
                         "click 1000", "message"]
        commands.append("wait-exit")
        run = self.machine.run_driver(self.args.uidriver, "removal", commands, DriverWaitSeconds, DriverRunSeconds)
        line = next((l[len("start-registered: "):] for l in run.lines if l.startswith("start-registered: ")), None)
        self.removal = {"ran": True, "key": entry["key"], "value": entry["value"], "command_line": line, "run": run}

    # --- pictures ------------------------------------------------------------

    def picture_count(self):
        folder = self.machine.transfer_file("pictures")
        return len([n for n in os.listdir(folder) if n.endswith(".bmp")]) if os.path.isdir(folder) else 0

    def convert_pictures(self):
        folder = self.machine.transfer_file("pictures")
        if not os.path.isdir(folder):
            return
        for name in sorted(os.listdir(folder)):
            if not name.endswith(".bmp"):
                continue
            png = os.path.join(folder, name[:-4] + ".png")
            try:
                width, height, colours = bmp_to_png(os.path.join(folder, name), png)
            except (OSError, PictureError) as error:
                progress("picture %s: %s" % (name, error))
                continue
            with open(png, "rb") as f:
                self.pictures.append({"file": name[:-4] + ".png", "name": name[3:-4], "width": width,
                                      "height": height, "colours": colours, "png": f.read()})


def main(argv):
    install_signal_handlers()
    args = read_arguments(argv)
    if args.report and os.path.exists(args.report) and not os.path.isdir(args.report):
        print("vellmark try: %s: not a folder" % args.report, file=sys.stderr)
        return 2
    run = Try(args)
    try:
        run.run()
    except TryError as error:
        print("vellmark try: %s" % error, file=sys.stderr)
        return 2
    except KeyboardInterrupt:
        print("vellmark try: interrupted; the prefix and its processes are gone", file=sys.stderr)
        return 2
    report = try_report.build(run)
    text = try_report.render_text(report)
    document = json.dumps(try_report.json_document(report), indent=2, ensure_ascii=False) + "\n"
    if args.report:
        os.makedirs(args.report, exist_ok=True)
        try_html.write_report(report, args.report, text, document)
    sys.stdout.reconfigure(encoding="utf-8", errors="surrogateescape")
    sys.stdout.write(document if args.json else text)
    return report["exit_code"]


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
