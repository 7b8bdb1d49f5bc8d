"""The report of a `vellmark try`: from the runs and the three snapshots to
one record (`build`), and that record as text (`render_text`) and as the
JSON document (`json_document`, its fields described in docs/packaging.md).
The HTML page (try_html.py) is made from the same record, so the three
always say the same.

What the installation changed is the comparison of the first two snapshots,
grouped: files, folders, shortcuts (with what they point at), services,
start-up entries (Run, RunOnce), the Programs and Features entry, and the
other registry keys and values.  What the removal left behind is the
comparison of the first snapshot with the last: every change there is a
leftover, except what is meant to stay after a removal (ExpectedRemains).
"""

import re

from snapshot_compare import compare, source_names
from snapshot_format import wildcard

FormatVersion = 1

# Unattended runs that count as done: installed or removed, restart or not.
SucceededCodes = (0, 3010)

# What the shared uninstaller and the company key keep after a removal: the
# uninstaller stays in the Windows folder for every product it removes, and
# the company key with the values the setup writes into it (the company's
# URL and Email), which the company's other products share.
UninstallerFile = "C:\\windows\\vuninst.exe"
UninstallerWhy = "the uninstaller vuninst.exe stays for every product it removes"
CompanyKeyWhy = "the company key, which the company's other products share, stays"
CompanyValueWhy = "the company's %s, kept in its key"
CompanyValues = ("URL", "Email")

SoftwareRoot = re.compile(r"HKLM\\Software\\(?:Wow6432Node\\)?", re.IGNORECASE)
UninstallRoot = re.compile(r"(HKLM\\Software\\(?:Wow6432Node\\)?Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
                           r"[^\\]+)(?:\\|\Z)", re.IGNORECASE)
ServicesRoot = re.compile(r"(HKLM\\System\\CurrentControlSet\\Services\\[^\\]+)(?:\\|\Z)", re.IGNORECASE)
StartKeys = re.compile(r"(?:HKLM|HKCU)\\Software\\(?:Wow6432Node\\)?Microsoft\\Windows\\CurrentVersion\\"
                       r"(?:Run|RunOnce)\Z", re.IGNORECASE)

ChangeWords = {"+": "added", "-": "removed", "~": "changed"}
FileChangeWords = {"+": "added", "-": "removed", "~": "replaced"}

# Shell links record the times of the folders on their way, so their bytes
# differ from run to run: they are compared by their size (and read back).
SizeOnly = wildcard(["*.lnk"])

# The wizard's last page when the installation failed and was undone.
WizardFailureText = "Error installing"


# --- the record ----------------------------------------------------------------

def meaning_of(meanings, code, column, mode, program):
    """What an exit code says, from the README's table (unattended runs)."""
    if code is None:
        return "the %s did not end and was killed" % program
    if mode == "wizard":
        if program == "setup":
            return {0: "the wizard ended", 1: "the package has no Install.ini"}.get(code, "not an exit code of the setup")
        return {0: "the dialog ended", 1: "the uninstaller could not start"}.get(code, "not an exit code of the uninstaller")
    row = meanings.get(str(code))
    text = row[column] if row else ""
    return text.replace("`", "") if text else "not an exit code of the %s" % program


def file_item(change, sources):
    item = {"change": FileChangeWords[change.sign], "kind": change.kind, "path": change.path, "shown": change.line}
    if change.kind == "file":
        new, old = change.new, change.old
        item["size"] = new[1] if new else None
        item["old_size"] = old[1] if old else None
        item["sha256"] = (new or old)[2]
        item["package_file"] = sources.get(new[2]) if new and new[2] else None
    elif change.kind == "link":
        item["target"] = (change.new or change.old)[1]
    return item


def registry_item(change):
    item = {"change": ChangeWords[change.sign], "kind": change.kind, "key": change.path, "shown": change.line}
    if change.kind == "value":
        item["name"] = change.name
        item["data"] = change.new
        item["old_data"] = change.old
    return item


def group_by_key(changes, pattern):
    """Changes below the keys PATTERN names, as one record per key."""
    groups = {}
    for change in changes:
        found = pattern.match(change.path)
        key = found.group(1)
        group = groups.setdefault(key.casefold(), {"key": key, "name": key.rsplit("\\", 1)[1], "change": "changed",
                                                   "values": [], "changes": []})
        group["changes"].append(registry_item(change))
        if change.kind == "key" and change.path.casefold() == key.casefold():
            group["change"] = ChangeWords[change.sign]
        elif change.kind == "value" and change.path.casefold() == key.casefold():
            group["values"].append({"name": change.name, "data": change.new, "old_data": change.old,
                                    "change": ChangeWords[change.sign]})
    return list(groups.values())


def installation_groups(changes, sources, shortcuts):
    groups = {"files": [], "folders": [], "shortcuts": [], "services": [], "start_entries": [],
              "uninstall_entries": [], "registry": []}
    entry_changes, service_changes = [], []
    for change in changes:
        if change.kind == "dir":
            groups["folders"].append(file_item(change, sources))
        elif change.kind in ("file", "link"):
            shortcut = shortcuts.get(change.path.casefold())
            if shortcut is not None:
                groups["shortcuts"].append(dict(file_item(change, sources), **shortcut))
            else:
                groups["files"].append(file_item(change, sources))
        elif UninstallRoot.match(change.path):
            entry_changes.append(change)
        elif ServicesRoot.match(change.path):
            service_changes.append(change)
        elif change.kind == "value" and StartKeys.match(change.path):
            groups["start_entries"].append(registry_item(change))
        else:
            groups["registry"].append(registry_item(change))
    groups["uninstall_entries"] = group_by_key(entry_changes, UninstallRoot)
    groups["services"] = group_by_key(service_changes, ServicesRoot)
    return groups


def logged_paths(install_log):
    """The paths an install log records (the first text of its entries)."""
    return {entry["text1"].casefold() for entry in install_log or [] if entry.get("text1")}


def expected_remain(change, companies):
    """Why a change left after the removal is meant to stay, or None."""
    if change.sign != "+":
        return None
    if change.kind == "file" and change.path.casefold() == UninstallerFile.casefold():
        return UninstallerWhy
    company = SoftwareRoot.match(change.path)
    if company is None or change.path[company.end():].casefold() not in companies:
        return None
    if change.kind == "key":
        return CompanyKeyWhy
    if change.kind == "value" and change.name in CompanyValues:
        return CompanyValueWhy % change.name
    return None


def left_behind(changes, companies, install_log):
    logged = logged_paths(install_log) if install_log is not None else None
    items = []
    for change in changes:
        why = expected_remain(change, companies)
        item = {"kind": change.kind, "change": ChangeWords[change.sign], "shown": change.line,
                "expected": why is not None, "why": why}
        if change.kind in ("dir", "file", "link"):
            item["path"] = change.path
            item["in_install_log"] = None if logged is None else change.path.casefold() in logged
        else:
            item["key"] = change.path
            if change.kind == "value":
                item["name"] = change.name
                item["data"] = change.new if change.new is not None else change.old
        items.append(item)
    return items


def setup_outcome(run, meanings):
    """(exit code, meaning, succeeded, problem) of the setup's run."""
    lines = run.setup_run.lines
    code = run.setup_run.exit_code()
    meaning = meaning_of(meanings, code, 0, run.mode, "setup")
    problem = next((line for line in lines if line.startswith(("timeout:", "walk: stuck", "start-line: cannot",
                                                               "start: cannot"))), None)
    if run.mode == "unattended":
        succeeded = code in SucceededCodes and problem is None
    else:
        walked = any(line.startswith("walk: ") and line.endswith(" pictures") for line in lines)
        last_text = [line for line in lines if line.startswith("text 1003: ")]
        failed_text = bool(last_text) and last_text[-1][len('text 1003: "'):].startswith(WizardFailureText)
        succeeded = code == 0 and walked and not failed_text and problem is None
        if code == 0 and not walked and problem is None:
            problem = "the wizard ended before its last page"
        elif failed_text:
            problem = "the last page says the installation failed and was undone"
    return code, meaning, succeeded, problem


def build(run):
    """The record of a finished try (a vellmark_try.Try)."""
    snapshots = run.snapshots
    before, installed, last = snapshots[0], snapshots[1], snapshots[-1]
    sources = source_names(snapshots)
    changes = compare(before, installed, sources, sized=SizeOnly)
    code, meaning, succeeded, problem = setup_outcome(run, run.meanings)
    groups = installation_groups(changes, sources, run.shortcuts)

    companies = set()
    for entry in run.entries:
        publisher = entry["values"].get("Publisher")
        if publisher and publisher.startswith('"') and publisher.endswith('"'):
            companies.add(publisher[1:-1].casefold())
    remains = left_behind(compare(before, last, sources, sized=SizeOnly), companies, run.install_log)
    leftovers = sum(1 for item in remains if not item["expected"])

    removal = dict(run.removal or {"ran": False, "why": "the setup registered no uninstall entry"})
    removal_ok = False
    if removal.get("ran"):
        driver = removal.pop("run")
        removal["exit_code"] = driver.exit_code()
        removal["meaning"] = meaning_of(run.meanings, removal["exit_code"], 1, run.mode, "removal")
        removal["driver"] = driver.lines
        removal_ok = (removal["exit_code"] in SucceededCodes if run.mode == "unattended"
                      else removal["exit_code"] == 0)
        removal["succeeded"] = removal_ok

    if not succeeded:
        verdict = "the setup failed"
        if problem:
            verdict += " (%s)" % problem
    elif leftovers:
        verdict = "the setup succeeded; %d %s left behind" % (
            leftovers, "change was" if leftovers == 1 else "changes were")
    elif not removal_ok:
        verdict = "the setup succeeded; the removal %s" % (
            "failed" if removal.get("ran") else "did not run: " + removal["why"])
    else:
        verdict = "clean: the setup succeeded and the removal left nothing unexpected"
    exit_code = 0 if succeeded and removal_ok and leftovers == 0 else 1

    return {
        "vellmark_try": FormatVersion,
        "setup": {"file": run.args.setup, "architecture": run.architecture, "arguments": run.args.setup_args},
        "mode": run.mode,
        "windows": run.args.windows,
        "package": {"read": run.package_problem is None, "problem": run.package_problem},
        "setup_run": {"command_line": run.setup_command, "exit_code": code, "meaning": meaning,
                      "succeeded": succeeded, "problem": problem, "transcript": run.transcript,
                      "driver": run.setup_run.lines},
        "installation": groups,
        "install_log": run.install_log,
        "removal": removal,
        "left_behind": remains,
        "leftovers": leftovers,
        "pictures": run.pictures,
        "exit_code": exit_code,
        "verdict": verdict,
    }


def json_document(report):
    """The record as the JSON document prints it: the pictures without their
    bytes, the shortcuts' and groups' internal lists as they are."""
    document = dict(report)
    document["pictures"] = [{k: v for k, v in p.items() if k != "png"} for p in report["pictures"]]
    return document


# --- text ------------------------------------------------------------------------

def quoted_or_none(text):
    return text if text is not None else "(none)"


def shortcut_lines(item):
    if item.get("error"):
        return ["         cannot be read: %s" % item["error"]]
    if item["kind"] == "internet shortcut":
        return ["         url: %s" % quoted_or_none(item.get("url"))]
    lines = ["         target: %s" % quoted_or_none(item.get("target"))]
    for field, label in (("arguments", "arguments"), ("working_directory", "working folder"),
                         ("description", "description"), ("icon_location", "icon")):
        if item.get(field):
            lines.append("         %s: %s" % (label, item[field]))
    return lines


def section(out, title, items, render):
    if not items:
        out.append("-- %s: none" % title)
        return
    out.append("-- %s (%d)" % (title, len(items)))
    for item in items:
        out.extend(render(item))


def render_text(report):
    out = []
    run = report["setup_run"]
    mode = "walking the wizard" if report["mode"] == "wizard" else "unattended"
    out.append("== the setup: %s (%s, Windows %s)" % (run["command_line"], mode, report["windows"]))
    code = run["exit_code"]
    out.append("exit code %s: %s" % ("killed" if code is None else code, run["meaning"]))
    if run["problem"]:
        out.append("problem: %s" % run["problem"])
    if not report["package"]["read"]:
        out.append("package: not readable by vellmark extract (%s)" % report["package"]["problem"])
    if run["transcript"]:
        out.append("-- its transcript (/LOG)")
        out.extend("  " + line for line in run["transcript"])
    driven = run["driver"] if report["mode"] == "wizard" else [
        line for line in run["driver"] if not re.match(r"exit \d+\Z", line)]
    if driven:
        out.append("-- what the UI driver saw" if report["mode"] == "unattended" else "-- the wizard, page by page")
        out.extend("  " + line for line in driven)

    groups = report["installation"]
    out.append("")
    out.append("== what the installation changed")
    section(out, "files", groups["files"], lambda i: ["  " + i["shown"]])
    section(out, "folders", groups["folders"], lambda i: ["  " + i["shown"]])
    section(out, "shortcuts", groups["shortcuts"], lambda i: ["  " + i["shown"]] + shortcut_lines(i))
    section(out, "services", groups["services"],
            lambda g: ["  %s (%s)" % (g["key"], g["change"])] + ["    " + c["shown"] for c in g["changes"]])
    section(out, "start-up entries (Run, RunOnce)", groups["start_entries"], lambda i: ["  " + i["shown"]])
    section(out, "registry keys and values", groups["registry"], lambda i: ["  " + i["shown"]])
    entries = groups["uninstall_entries"]
    if not entries:
        out.append("-- Programs and Features entry: none")
    for entry in entries:
        out.append("-- Programs and Features entry: %s (%s)" % (entry["key"], entry["change"]))
        width = max([len(v["name"]) for v in entry["values"]] + [8])
        for value in entry["values"]:
            data = value["data"] if value["data"] is not None else "(removed)"
            text = data[1:-1] if data.startswith('"') and data.endswith('"') else data
            out.append("  %-*s  %s" % (width, value["name"] or "@", text))

    removal = report["removal"]
    out.append("")
    if removal["ran"]:
        out.append("== the removal: %s (%s)" % (removal["command_line"], removal["value"]))
        code = removal["exit_code"]
        out.append("exit code %s: %s" % ("killed" if code is None else code, removal["meaning"]))
        driven = [line for line in removal["driver"]
                  if not re.match(r"(exit \d+|start-registered: .*)\Z", line)]
        if driven:
            out.append("-- what the UI driver saw")
            out.extend("  " + line for line in driven)
    else:
        out.append("== the removal: not run (%s)" % removal["why"])

    out.append("")
    out.append("== what the removal left behind" if removal["ran"] else "== what the run left behind")
    if not report["left_behind"]:
        out.append("  nothing")
    for item in report["left_behind"]:
        mark = "expected" if item["expected"] else "LEFTOVER"
        out.append("  %s  %s" % (mark, item["shown"]))
        if item["expected"]:
            out.append("            (%s)" % item["why"])
        elif item.get("in_install_log") is False:
            out.append("            (not in the install log, so the uninstaller did not know it)")

    out.append("")
    out.append("== result: %s (exit %d)" % (report["verdict"], report["exit_code"]))
    return "\n".join(out) + "\n"
