"""The report folder of `vellmark try --report DIR`:

    DIR/index.html     one self-contained page (styles and pictures inline):
                       the outcome, the pictures, the change tables, the
                       transcripts; a CI job can publish the folder as it is
    DIR/try.txt        the text report, as the command prints it
    DIR/try.json       the JSON document, as --json prints it
    DIR/pictures/      the pictures as PNG files

The page is made from the same record as the text (try_report.build).
"""

import base64
import html
import os
import re

Style = """
body { font: 14px/1.45 system-ui, sans-serif; margin: 0; color: #1d232a; background: #f4f5f7; }
header { padding: 18px 28px; color: #fff; background: #2d3e50; }
header h1 { margin: 0 0 4px; font-size: 20px; font-weight: 600; }
header p { margin: 0; opacity: .85; }
main { padding: 8px 28px 40px; max-width: 1180px; }
section { background: #fff; border: 1px solid #dde1e6; border-radius: 6px; margin: 18px 0; padding: 6px 18px 14px; }
h2 { font-size: 17px; margin: 12px 0 8px; }
h3 { font-size: 14px; margin: 14px 0 6px; color: #3c4650; }
.verdict { display: inline-block; padding: 6px 12px; border-radius: 4px; font-weight: 600; margin-top: 10px; }
.clean { background: #2e8540; color: #fff; }
.failed { background: #b3261e; color: #fff; }
table { border-collapse: collapse; width: 100%; font-size: 13px; }
th, td { text-align: left; padding: 3px 8px; border-bottom: 1px solid #eceef1; vertical-align: top; }
th { background: #f0f2f5; font-weight: 600; }
td.path, td.data, pre { font-family: ui-monospace, "DejaVu Sans Mono", monospace; font-size: 12px; }
td.path, td.data { word-break: break-all; }
.tag { display: inline-block; min-width: 60px; padding: 0 6px; border-radius: 3px; font-size: 12px; text-align: center; }
.added { background: #dff3e4; } .removed { background: #fbe3e1; } .changed, .replaced { background: #fdf3d8; }
.expected { background: #e4ecf7; } .leftover { background: #b3261e; color: #fff; font-weight: 600; }
.none { color: #6b7580; font-style: italic; margin: 2px 0 8px; }
pre { background: #f6f8fa; border: 1px solid #e3e6ea; padding: 8px 10px; overflow-x: auto; margin: 4px 0 8px; }
.pictures { display: flex; flex-wrap: wrap; gap: 14px; }
figure { margin: 0; border: 1px solid #dde1e6; border-radius: 4px; padding: 6px; background: #fafbfc; }
figure img { display: block; max-width: 360px; height: auto; }
figcaption { font-size: 12px; color: #3c4650; margin-top: 4px; }
"""


def e(text):
    return html.escape("" if text is None else str(text))


def tag(word, kind=None):
    return '<span class="tag %s">%s</span>' % (e(kind or word), e(word))


def table(headers, rows, classes=None):
    if not rows:
        return '<p class="none">none</p>'
    classes = classes or [""] * len(headers)
    out = ["<table><tr>%s</tr>" % "".join("<th>%s</th>" % e(h) for h in headers)]
    for row in rows:
        out.append("<tr>%s</tr>" % "".join('<td class="%s">%s</td>' % (c, cell) for c, cell in zip(classes, row)))
    out.append("</table>")
    return "\n".join(out)


def size_text(item):
    if item.get("size") is None:
        return e(item.get("old_size")) if item.get("old_size") is not None else ""
    if item.get("old_size") is not None and item["old_size"] != item["size"]:
        return "%s &rarr; %s" % (e(item["old_size"]), e(item["size"]))
    return e(item["size"])


def pre(lines):
    return "<pre>%s</pre>" % e("\n".join(lines)) if lines else '<p class="none">none</p>'


def picture_title(name):
    words = {"message": "A message box", "uninstall": "The uninstaller's dialog"}
    return words.get(name, name.replace("-", " ").capitalize())


def installation_html(groups):
    out = ["<h3>Files</h3>", table(
        ["", "path", "bytes", "from the package"],
        [[tag(i["change"]), e(i["path"]), size_text(i), e(i.get("package_file") or "")] for i in groups["files"]],
        ["", "path", "", "path"])]
    out += ["<h3>Folders</h3>", table(["", "path"], [[tag(i["change"]), e(i["path"])] for i in groups["folders"]],
                                      ["", "path"])]
    rows = []
    for i in groups["shortcuts"]:
        target = i.get("url") if i.get("kind") == "internet shortcut" else i.get("target")
        details = []
        for field, label in (("arguments", "arguments"), ("working_directory", "working folder"),
                             ("description", "description")):
            if i.get(field):
                details.append("%s: %s" % (label, i[field]))
        if i.get("error"):
            details.append("cannot be read: %s" % i["error"])
        rows.append([tag(i["change"]), e(i["path"]), e(target), e("; ".join(details))])
    out += ["<h3>Shortcuts</h3>", table(["", "shortcut", "target", ""], rows, ["", "path", "path", ""])]
    rows = []
    for g in groups["services"]:
        rows.append([tag(g["change"]), e(g["name"]), "<br>".join(e(c["shown"]) for c in g["changes"])])
    out += ["<h3>Services</h3>", table(["", "service", "keys and values"], rows, ["", "", "data"])]
    out += ["<h3>Start-up entries (Run, RunOnce)</h3>", table(
        ["", "key", "name", "data"],
        [[tag(i["change"]), e(i["key"]), e(i["name"]), e(i["data"])] for i in groups["start_entries"]],
        ["", "path", "", "data"])]
    out += ["<h3>Registry keys and values</h3>", table(
        ["", "key", "value", "data"],
        [[tag(i["change"]), e(i["key"]), e(i.get("name", "") if i["kind"] == "value" else "(key)"),
          e(i.get("data") if i.get("data") is not None else i.get("old_data"))] for i in groups["registry"]],
        ["", "path", "", "data"])]
    out.append("<h3>Programs and Features entry</h3>")
    if not groups["uninstall_entries"]:
        out.append('<p class="none">none</p>')
    for entry in groups["uninstall_entries"]:
        out.append("<p>%s %s</p>" % (tag(entry["change"]), e(entry["key"])))
        out.append(table(["value", "data"], [[e(v["name"] or "@"), e(v["data"])] for v in entry["values"]],
                         ["", "data"]))
    return "\n".join(out)


def left_html(report):
    rows = []
    for item in report["left_behind"]:
        mark = tag("expected") if item["expected"] else tag("leftover")
        subject = item.get("path") or item.get("key")
        if item["kind"] == "value":
            subject = "%s: %s" % (item["key"], item["name"] or "@")
        note = item["why"] if item["expected"] else (
            "not in the install log" if item.get("in_install_log") is False else "")
        rows.append([mark, tag(item["change"]), e(item["kind"]), e(subject), e(note)])
    if not rows:
        return '<p class="none">nothing</p>'
    return table(["", "", "", "what", ""], rows, ["", "", "", "path", ""])


def page(report):
    run = report["setup_run"]
    removal = report["removal"]
    setup_name = os.path.basename(report["setup"]["file"])
    mode = "walking the wizard" if report["mode"] == "wizard" else "unattended (/S)"
    verdict_class = "clean" if report["exit_code"] == 0 else "failed"
    out = ["<!DOCTYPE html>", '<html lang="en"><head><meta charset="utf-8">',
           "<title>vellmark try: %s</title>" % e(setup_name), "<style>%s</style></head><body>" % Style,
           "<header><h1>vellmark try: %s</h1><p>%s, Windows %s under wine</p>" % (e(setup_name), e(mode),
                                                                                 e(report["windows"])),
           '<div class="verdict %s" id="verdict">%s (exit %d)</div></header><main>' % (
               verdict_class, e(report["verdict"]), report["exit_code"])]

    code = "killed" if run["exit_code"] is None else run["exit_code"]
    out += ['<section id="setup"><h2>The setup</h2>',
            "<p><code>%s</code></p>" % e(run["command_line"]),
            "<p>exit code <b>%s</b>: %s</p>" % (e(code), e(run["meaning"]))]
    if run["problem"]:
        out.append("<p>problem: %s</p>" % e(run["problem"]))
    if not report["package"]["read"]:
        out.append("<p>package: not readable by vellmark extract (%s)</p>" % e(report["package"]["problem"]))
    if run["transcript"]:
        out += ["<h3>Its transcript (/LOG)</h3>", pre(run["transcript"])]
    out += ["<h3>What the UI driver saw</h3>", pre(run["driver"]), "</section>"]

    if report["pictures"]:
        out.append('<section id="pictures"><h2>Pictures</h2><div class="pictures">')
        for picture in report["pictures"]:
            data = base64.b64encode(picture["png"]).decode("ascii")
            out.append('<figure><img alt="%s" width="%d" height="%d" src="data:image/png;base64,%s">'
                       "<figcaption>%s</figcaption></figure>" % (
                           e(picture_title(picture["name"])), picture["width"], picture["height"], data,
                           e(picture_title(picture["name"]))))
        out.append("</div></section>")

    out += ['<section id="installation"><h2>What the installation changed</h2>',
            installation_html(report["installation"]), "</section>"]

    out.append('<section id="removal"><h2>The removal</h2>')
    if removal["ran"]:
        code = "killed" if removal["exit_code"] is None else removal["exit_code"]
        out += ["<p><code>%s</code> (%s)</p>" % (e(removal["command_line"]), e(removal["value"])),
                "<p>exit code <b>%s</b>: %s</p>" % (e(code), e(removal["meaning"])),
                "<h3>What the UI driver saw</h3>", pre(removal["driver"])]
    else:
        out.append("<p>not run: %s</p>" % e(removal["why"]))
    out.append("</section>")

    out += ['<section id="left"><h2>%s</h2>' % ("What the removal left behind" if removal["ran"]
                                                else "What the run left behind"),
            left_html(report), "</section>", "</main></body></html>"]
    return "\n".join(out) + "\n"


def write_report(report, folder, text, document):
    pictures = os.path.join(folder, "pictures")
    # The pictures of an earlier report in the same folder go: the folder
    # then holds this run's alone.
    if os.path.isdir(pictures):
        for name in os.listdir(pictures):
            if re.fullmatch(r"\d\d-[a-z0-9-]+\.png", name):
                os.remove(os.path.join(pictures, name))
    if report["pictures"]:
        os.makedirs(pictures, exist_ok=True)
    for picture in report["pictures"]:
        with open(os.path.join(pictures, picture["file"]), "wb") as f:
            f.write(picture["png"])
    with open(os.path.join(folder, "try.txt"), "w", encoding="utf-8") as f:
        f.write(text)
    with open(os.path.join(folder, "try.json"), "w", encoding="utf-8") as f:
        f.write(document)
    with open(os.path.join(folder, "index.html"), "w", encoding="utf-8") as f:
        f.write(page(report))
