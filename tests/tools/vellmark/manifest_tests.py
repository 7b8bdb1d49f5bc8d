#!/usr/bin/env python3
"""vellmark manifest: the winget manifest of a setup, checked against the
manifest schema's published field rules (1.6.0) and the package itself.

usage: manifest_tests.py --tool VELLMARK --make-stub MAKE_TEST_STUB

For a table of products (plain names; names with quotes, colons, '#', a
leading blank and Windows-1252 letters; without an uninstaller entry; an x64
setup), the three files are parsed with the small YAML reader below and
checked: required fields, the patterns of PackageIdentifier, PackageVersion,
InstallerSha256 and the URLs, lengths, the enum values, the same
identifier, version and ManifestVersion in all three, the file names; and the
values against the package: the SHA-256 recomputed, the product's settings,
the uninstall entry's key name.  Then the errors: no package, missing
settings, bad URLs, no identifier to be made.
Prints ok/FAIL per check and "N passed, M failed"; exits 1 when one failed.
"""

import argparse
import hashlib
import os
import re
import subprocess
import sys
import tempfile

from tool_checks import check, run, summary


# --- a reader for block-style YAML: mappings, sequences, scalars -------------


class YamlError(Exception):
    pass


def scalar(text):
    text = text.strip()
    if text.startswith('"'):
        if not text.endswith('"') or len(text) < 2:
            raise YamlError("unterminated double-quoted scalar: " + text)
        out, i, body = [], 0, text[1:-1]
        while i < len(body):
            c = body[i]
            if c == '"':
                raise YamlError("unescaped quote inside: " + text)
            if c == "\\":
                e = body[i + 1]
                if e in '"\\/':
                    out.append(e)
                    i += 2
                elif e in "nrt0":
                    out.append({"n": "\n", "r": "\r", "t": "\t", "0": "\0"}[e])
                    i += 2
                elif e in "xuU":
                    width = {"x": 2, "u": 4, "U": 8}[e]
                    out.append(chr(int(body[i + 2:i + 2 + width], 16)))
                    i += 2 + width
                else:
                    raise YamlError("unknown escape in " + text)
                continue
            out.append(c)
            i += 1
        return "".join(out)
    if text.startswith("'"):
        return text[1:-1].replace("''", "'")
    # A plain scalar: what could start another construct is an error here.
    if text[:1] in "&*!|>%@`{[,?-#" and text not in ("-",) or ": " in text or " #" in text:
        if not re.match(r"^-?\d+$", text):
            raise YamlError("unsafe plain scalar: " + text)
    if re.match(r"^-?\d+$", text):
        return int(text)
    return text


def parse_yaml(source):
    lines = []
    for raw in source.split("\n"):
        if raw.strip() == "" or raw.lstrip().startswith("#"):
            continue
        if "\t" in raw[: len(raw) - len(raw.lstrip())]:
            raise YamlError("tab in indentation")
        lines.append((len(raw) - len(raw.lstrip(" ")), raw.strip()))
    position = [0]

    def key_value(text):
        m = re.match(r'^([A-Za-z][A-Za-z0-9]*):(?: (.*))?$', text)
        if not m:
            raise YamlError("not a key: " + text)
        return m.group(1), m.group(2)

    def block(indent):
        if position[0] >= len(lines):
            raise YamlError("missing block")
        first_indent, text = lines[position[0]]
        if first_indent != indent:
            raise YamlError("bad indentation at " + text)
        if text.startswith("- ") or text == "-":
            return sequence(indent)
        return mapping(indent)

    def mapping(indent, first=None):
        result = {}
        while position[0] < len(lines) or first:
            if first is not None:
                text, first = first, None
            else:
                line_indent, text = lines[position[0]]
                if line_indent < indent:
                    break
                if line_indent > indent or text.startswith("- "):
                    raise YamlError("bad indentation at " + text)
                position[0] += 1
            key, value = key_value(text)
            if key in result:
                raise YamlError("duplicate key " + key)
            if value is None or value == "":
                nested = lines[position[0]][0] if position[0] < len(lines) else -1
                # a sequence may stand at the key's own indentation
                if nested > indent or (nested == indent and lines[position[0]][1].startswith("- ")):
                    result[key] = block(nested)
                else:
                    raise YamlError("empty value of " + key)
            else:
                result[key] = scalar(value)
        return result

    def sequence(indent):
        result = []
        while position[0] < len(lines):
            line_indent, text = lines[position[0]]
            if line_indent < indent or not text.startswith("- "):
                if line_indent > indent:
                    raise YamlError("bad indentation at " + text)
                break
            position[0] += 1
            item = text[2:]
            if re.match(r'^[A-Za-z][A-Za-z0-9]*:( |$)', item):
                result.append(mapping(indent + 2, first=item))
            else:
                result.append(scalar(item))
        return result

    document = block(0)
    if position[0] != len(lines):
        raise YamlError("text after the document: " + lines[position[0]][1])
    return document


# --- the schema's field rules, 1.6.0 ------------------------------------------

IDENTIFIER = re.compile(r'^[^\.\s\\/:\*\?"<>\|\x01-\x1f]{1,32}(\.[^\.\s\\/:\*\?"<>\|\x01-\x1f]{1,32}){1,7}$')
VERSION = re.compile(r'^[^\\/:\*\?"<>\|\x01-\x1f]+$')
LOCALE = re.compile(r'^([a-zA-Z]{2,3}|[iI]-[a-zA-Z]+|[xX]-[a-zA-Z]{1,8})(-[a-zA-Z]{1,8})*$')
MANIFEST_VERSION = re.compile(r'^(0|[1-9][0-9]{0,3}|[1-5][0-9]{4}|6[0-4][0-9]{3}|65[0-4][0-9]{2}|655[0-2][0-9]|6553[0-5])'
                              r'(\.(0|[1-9][0-9]{0,3}|[1-5][0-9]{4}|6[0-4][0-9]{3}|65[0-4][0-9]{2}|655[0-2][0-9]|6553[0-5])){2}$')
URL = re.compile(r'^([Hh][Tt][Tt][Pp][Ss]?)://.+$')
SHA256 = re.compile(r'^[A-Fa-f0-9]{64}$')
RETURN_RESPONSES = {"packageInUse", "packageInUseByApplication", "installInProgress", "fileInUse", "missingDependency",
                    "diskFull", "insufficientMemory", "invalidParameter", "noNetwork", "contactSupport",
                    "rebootRequiredToFinish", "rebootRequiredForInstall", "rebootInitiated", "cancelledByUser",
                    "alreadyInstalled", "downgrade", "blockedByPolicy", "systemNotSupported", "custom"}
ENUMS = {
    "InstallerType": {"msix", "msi", "appx", "exe", "zip", "inno", "nullsoft", "wix", "burn", "pwa", "portable"},
    "Architecture": {"x86", "x64", "arm", "arm64", "neutral"},
    "Scope": {"user", "machine"},
    "UpgradeBehavior": {"install", "uninstallPrevious", "deny"},
    "ElevationRequirement": {"elevationRequired", "elevationProhibited", "elevatesSelf"},
}
INSTALL_MODES = {"interactive", "silent", "silentWithProgress"}
SWITCHES = {"Silent", "SilentWithProgress", "Interactive", "InstallLocation", "Log", "Upgrade", "Custom", "Repair"}
# The fields each manifest type may hold (the schema has additionalProperties: false).
ALLOWED = {
    "version": {"PackageIdentifier", "PackageVersion", "DefaultLocale", "ManifestType", "ManifestVersion"},
    "installer": {"PackageIdentifier", "PackageVersion", "InstallerType", "Scope", "InstallModes", "InstallerSwitches",
                  "ExpectedReturnCodes", "UpgradeBehavior", "ElevationRequirement", "ProductCode",
                  "AppsAndFeaturesEntries", "Installers", "ManifestType", "ManifestVersion", "InstallerLocale",
                  "Platform", "MinimumOSVersion", "Commands", "Protocols", "FileExtensions"},
    "defaultLocale": {"PackageIdentifier", "PackageVersion", "PackageLocale", "Publisher", "PublisherUrl",
                      "PublisherSupportUrl", "PrivacyUrl", "Author", "PackageName", "PackageUrl", "License",
                      "LicenseUrl", "Copyright", "CopyrightUrl", "ShortDescription", "Description", "Moniker", "Tags",
                      "ReleaseNotes", "ReleaseNotesUrl", "ManifestType", "ManifestVersion"},
}
REQUIRED = {
    "version": ["PackageIdentifier", "PackageVersion", "DefaultLocale", "ManifestType", "ManifestVersion"],
    "installer": ["PackageIdentifier", "PackageVersion", "Installers", "ManifestType", "ManifestVersion"],
    "defaultLocale": ["PackageIdentifier", "PackageVersion", "PackageLocale", "Publisher", "PackageName", "License",
                      "ShortDescription", "ManifestType", "ManifestVersion"],
}


def length_ok(value, low, high):
    return isinstance(value, str) and low <= len(value) <= high


def schema_faults(kind, m):
    """The field rules a manifest of type `kind` breaks (empty: none)."""
    faults = []

    def rule(ok, text):
        if not ok:
            faults.append(text)

    for field in REQUIRED[kind]:
        rule(field in m, "required field missing: " + field)
    for field in m:
        rule(field in ALLOWED[kind], "field not in the schema: " + field)
    rule(m.get("ManifestType") == kind, "ManifestType is not " + kind)
    rule(MANIFEST_VERSION.match(str(m.get("ManifestVersion", ""))) is not None, "ManifestVersion pattern")
    pid = m.get("PackageIdentifier", "")
    rule(isinstance(pid, str) and len(pid) <= 128 and IDENTIFIER.match(pid), "PackageIdentifier pattern: %r" % pid)
    version = m.get("PackageVersion", "")
    rule(isinstance(version, str) and len(version) <= 128 and VERSION.match(version), "PackageVersion pattern")
    if kind == "version":
        rule(length_ok(m.get("DefaultLocale"), 1, 20) and LOCALE.match(m["DefaultLocale"]), "DefaultLocale pattern")
    if kind == "defaultLocale":
        rule(length_ok(m.get("PackageLocale"), 1, 20) and LOCALE.match(m["PackageLocale"]), "PackageLocale pattern")
        rule(length_ok(m.get("Publisher"), 2, 256), "Publisher length")
        rule(length_ok(m.get("PackageName"), 2, 256), "PackageName length")
        rule(length_ok(m.get("License"), 3, 512), "License length")
        rule(length_ok(m.get("ShortDescription"), 3, 256), "ShortDescription length")
        for field in ("PublisherUrl", "PackageUrl", "LicenseUrl"):
            if field in m:
                rule(length_ok(m[field], 1, 2048) and URL.match(m[field]), field + " pattern")
    if kind == "installer":
        for field, values in ENUMS.items():
            if field in m:
                rule(m[field] in values, "%s %r not in its enum" % (field, m[field]))
        modes = m.get("InstallModes", [])
        rule(isinstance(modes, list) and set(modes) <= INSTALL_MODES and len(set(modes)) == len(modes), "InstallModes")
        switches = m.get("InstallerSwitches", {})
        for field, value in switches.items():
            rule(field in SWITCHES, "unknown switch field " + field)
            rule(length_ok(value, 1, 2048 if field == "Custom" else 512), field + " length")
        codes = m.get("ExpectedReturnCodes", [])
        rule(len(codes) <= 128, "ExpectedReturnCodes: at most 128")
        rule(len({c.get("InstallerReturnCode") for c in codes}) == len(codes), "ExpectedReturnCodes: unique codes")
        for c in codes:
            code = c.get("InstallerReturnCode")
            rule(set(c) <= {"InstallerReturnCode", "ReturnResponse", "ReturnResponseUrl"}, "return code fields")
            rule(isinstance(code, int) and code != 0 and -2147483648 <= code <= 4294967295, "InstallerReturnCode %r" % code)
            rule(c.get("ReturnResponse") in RETURN_RESPONSES, "ReturnResponse %r" % c.get("ReturnResponse"))
        if "ProductCode" in m:
            rule(length_ok(m["ProductCode"], 1, 255), "ProductCode length")
        for entry in m.get("AppsAndFeaturesEntries", []):
            rule(set(entry) <= {"DisplayName", "Publisher", "DisplayVersion", "ProductCode", "UpgradeCode",
                                "InstallerType"}, "AppsAndFeaturesEntries fields")
            for field, high in (("DisplayName", 256), ("Publisher", 256), ("DisplayVersion", 128), ("ProductCode", 255)):
                if field in entry:
                    rule(length_ok(entry[field], 1, high), "AppsAndFeaturesEntries " + field)
        installers = m.get("Installers", [])
        rule(isinstance(installers, list) and 1 <= len(installers) <= 1024, "Installers: 1 to 1024")
        for installer in installers:
            rule(installer.get("Architecture") in ENUMS["Architecture"], "Architecture")
            rule(isinstance(installer.get("InstallerSha256"), str) and SHA256.match(installer["InstallerSha256"]),
                 "InstallerSha256 pattern")
            url = installer.get("InstallerUrl", "")
            rule(length_ok(url, 1, 2048) and URL.match(url), "InstallerUrl pattern")
    return faults


# --- the tests -------------------------------------------------------------------------



def make_setup(tool, stub, work, name, settings, machine=None, uninstaller=True):
    """Packs a product; machine 0x8664 packs it with the x86-64 stub (and its
    uninstaller) beside STUB, in the folder win64, as --arch win64 asks."""
    root = os.path.join(work, name)
    os.makedirs(os.path.join(root, "Bin"))
    script = b"".join(b"// " + line.encode("cp1252") + b"\r\n" for line in settings) + b"install() { return 1; }\r\n"
    with open(os.path.join(root, "Install.ini"), "wb") as f:
        f.write(script)
    with open(os.path.join(root, "Bin", "tool.exe"), "wb") as f:
        f.write(b"MZ tool")
    setup = root + ".exe"
    options = [] if uninstaller else ["--no-uninstaller"]
    if machine == 0x8664:
        stub = os.path.join(os.path.dirname(stub), "win64", "Setup.exe")
        options += ["--arch", "win64"]
    elif machine is not None:
        raise ValueError("no stub for machine 0x%X" % machine)
    rc, out, err = run(tool, "pack", root, "-o", setup, "--stub", stub, *options)
    if rc != 0:
        raise RuntimeError(err)
    return setup


def read_manifests(directory, identifier, name):
    files = {"version": identifier + ".yaml", "installer": identifier + ".installer.yaml",
             "defaultLocale": identifier + ".locale.en-US.yaml"}
    check(name + ": exactly the three files, named as winget-pkgs names them",
          sorted(os.listdir(directory)) == sorted(files.values()), repr(os.listdir(directory)))
    parsed = {}
    for kind, file_name in files.items():
        try:
            with open(os.path.join(directory, file_name), encoding="utf-8") as f:
                parsed[kind] = parse_yaml(f.read())
        except (OSError, YamlError, UnicodeDecodeError) as error:
            check("%s: %s parses" % (name, file_name), False, str(error))
            return None
    return parsed


def test_products(tool, stub, work):
    url = "https://downloads.acme.example/tool/Setup.exe"
    products = [
        # name, settings, expected identifier, machine, uninstaller, extra options
        ("plain", ["Company=Acme", "Product=Acme Tool", "Name=Acme Tool 2", "Version=2.0.1",
                   "CompanyURL=https://acme.example", "ProductURL=https://acme.example/tool", "NoUninstall=0"],
         "Acme.AcmeTool", None, True, []),
        ("awkward names", ['Company=Caf\u00e9 "Zo\u00eb": #1', "Product= Leading: 'quoted' # not a comment",
                           "Name=- dash, [brackets] & {braces}", "Version=10.0.22000.1", "NoUninstall=0"],
         "CaféZoë#1.Leading'quoted'#notacomment", None, True, ["--license", "MIT: see \"LICENSE\"",
                                                               "--publisher-url", "http://caf\u00e9.example/a#b"]),
        ("no uninstall entry", ["Company=Acme", "Product=Quiet", "Version=1"], "Acme.Quiet", None, True, []),
        ("x64 setup", ["Company=Acme", "Product=Wide", "Version=3.1", "NoUninstall=0"], "Acme.Wide", 0x8664, True, []),
        ("given identifier", ["Company=Acme", "Product=Tool", "Version=1.2", "NoUninstall=0"], "Acme.Tools.Tool",
         None, False, ["--identifier", "Acme.Tools.Tool", "--description", "The tool"]),
    ]
    for number, (name, settings, identifier, machine, uninstaller, extra) in enumerate(products):
        setup = make_setup(tool, stub, work, "product-%d" % number, settings, machine, uninstaller)
        values = dict(line.split("=", 1) for line in settings)
        out_dir = os.path.join(work, "out-" + os.path.basename(setup))
        rc, out, err = run(tool, "manifest", setup, "--url", url, "-o", out_dir, *extra)
        check(name + ": exit code 0", rc == 0, err)
        if rc != 0:
            continue
        written = [os.path.join(out_dir, identifier + suffix) for suffix in (".yaml", ".installer.yaml", ".locale.en-US.yaml")]
        check(name + ": prints the files it wrote", out.splitlines() == written, out)
        m = read_manifests(out_dir, identifier, name)
        if m is None:
            continue
        for kind, manifest in m.items():
            faults = schema_faults(kind, manifest)
            check("%s: %s manifest keeps the schema's rules" % (name, kind), not faults, "; ".join(faults))
        for field in ("PackageIdentifier", "PackageVersion", "ManifestVersion"):
            check("%s: one %s in all three" % (name, field), len({str(x.get(field)) for x in m.values()}) == 1)
        check(name + ": ManifestVersion 1.6.0", m["version"]["ManifestVersion"] == "1.6.0")
        check(name + ": DefaultLocale is the locale manifest's",
              m["version"]["DefaultLocale"] == m["defaultLocale"]["PackageLocale"] == "en-US")

        # The values, against the package and the file.
        installer, locale = m["installer"], m["defaultLocale"]
        given = dict(zip(extra[::2], extra[1::2]))
        check(name + ": PackageIdentifier", installer["PackageIdentifier"] == identifier, installer["PackageIdentifier"])
        check(name + ": PackageVersion is Version", installer["PackageVersion"] == values["Version"])
        check(name + ": Publisher is Company", locale["Publisher"] == values["Company"], repr(locale["Publisher"]))
        check(name + ": PackageName is Product", locale["PackageName"] == values["Product"], repr(locale["PackageName"]))
        check(name + ": License", locale["License"] == given.get("--license", "Proprietary"), repr(locale["License"]))
        check(name + ": ShortDescription", locale["ShortDescription"] ==
              given.get("--description", values.get("Name", values["Product"])), repr(locale["ShortDescription"]))
        check(name + ": PublisherUrl", locale.get("PublisherUrl") == given.get("--publisher-url", values.get("CompanyURL")))
        check(name + ": PackageUrl", locale.get("PackageUrl") == values.get("ProductURL"))
        with open(setup, "rb") as f:
            digest = hashlib.sha256(f.read()).hexdigest().upper()
        entry = installer["Installers"][0]
        check(name + ": InstallerSha256 of the file, upper-case", entry["InstallerSha256"] == digest)
        check(name + ": InstallerUrl", entry["InstallerUrl"] == url)
        check(name + ": Architecture from the image", entry["Architecture"] == ("x64" if machine == 0x8664 else "x86"))
        check(name + ": exe, machine scope", installer["InstallerType"] == "exe" and installer["Scope"] == "machine")
        check(name + ": the setup's switches", installer["InstallerSwitches"] == {
            "Silent": "/S", "SilentWithProgress": "/S", "InstallLocation": "/D=<INSTALLPATH>", "Log": "/LOG=<LOGPATH>"})
        codes = {c["InstallerReturnCode"]: c["ReturnResponse"] for c in installer["ExpectedReturnCodes"]}
        check(name + ": the README's exit codes", {1618: "installInProgress", 1638: "alreadyInstalled",
                                                   1602: "cancelledByUser", 3010: "rebootRequiredToFinish"}.items()
              <= codes.items(), repr(codes))
        registers = values.get("NoUninstall") == "0" and uninstaller
        if registers:
            check(name + ": ProductCode is the uninstall entry's key name (the Product)",
                  installer.get("ProductCode") == values["Product"], repr(installer.get("ProductCode")))
            check(name + ": AppsAndFeaturesEntries as the setup registers them", installer.get("AppsAndFeaturesEntries") == [{
                "DisplayName": values.get("Name", values["Product"]), "Publisher": values["Company"],
                "DisplayVersion": values["Version"], "ProductCode": values["Product"]}],
                repr(installer.get("AppsAndFeaturesEntries")))
            check(name + ": nothing on stderr", err == "", err)
        else:
            check(name + ": no ProductCode without an uninstall entry",
                  "ProductCode" not in installer and "AppsAndFeaturesEntries" not in installer)
            check(name + ": and a note says why", "registers no entry in the list of installed programs" in err, err)

    # The default folder is the current one.
    setup = os.path.join(work, "product-0.exe")
    here = os.path.join(work, "here")
    os.mkdir(here)
    rc, out, err = run(tool, "manifest", setup, "--url", url, cwd=here)
    check("no -o: the current folder", rc == 0 and sorted(os.listdir(here)) ==
          ["Acme.AcmeTool.installer.yaml", "Acme.AcmeTool.locale.en-US.yaml", "Acme.AcmeTool.yaml"], err)


def test_errors(tool, stub, work):
    url = "https://acme.example/Setup.exe"
    good = os.path.join(work, "product-0.exe")
    no_product = make_setup(tool, stub, work, "no-product", ["Company=Acme", "Version=1.0"])
    no_anything = make_setup(tool, stub, work, "no-anything", ["Name=Nothing else"])
    blanks = make_setup(tool, stub, work, "blanks", ["Company = Acme", "Product=Tool", "Version=1"])
    refused_id = make_setup(tool, stub, work, "refused-id", ["Company=???", "Product=Tool", "Version=1"])
    bad_version = make_setup(tool, stub, work, "bad-version", ["Company=Acme", "Product=Tool", "Version=1/2"])
    empty = os.path.join(work, "empty.exe")
    open(empty, "wb").close()
    cases = [
        ("no package", [stub, "--url", url], 2, "holds no Vellmark package"),
        ("an empty file", [empty, "--url", url], 2, "holds no Vellmark package"),
        ("a missing file", [os.path.join(work, "missing.exe"), "--url", url], 2, "No such file or directory"),
        ("no --url", [good], 2, "no --url given"),
        ("an ftp URL", [good, "--url", "ftp://acme.example/Setup.exe"], 1, "is no http or https address"),
        ("a URL without a scheme", [good, "--url", "acme.example/Setup.exe"], 1, "is no http or https address"),
        ("a bad publisher URL", [good, "--url", url, "--publisher-url", "https://"], 1, "is no http or https address"),
        ("no Product", [no_product, "--url", url], 1, "has no Product setting"),
        ("none of the three", [no_anything, "--url", url], 1, "has no Company, Product, Version setting"),
        ("blanks around =", [blanks, "--url", url], 1, "has no Company setting"),
        ("no identifier from the names", [refused_id, "--url", url], 1, "give one with --identifier"),
        ("a bad --identifier", [good, "--url", url, "--identifier", "Acme"], 1, "is no winget package identifier"),
        ("a Version winget refuses", [bad_version, "--url", url], 1, "holds a character a winget PackageVersion refuses"),
        ("a short --license", [good, "--url", url, "--license", "X"], 1, "License \"X\" must have 3 to 512 characters"),
    ]
    for name, arguments, code, text in cases:
        out_dir = os.path.join(work, "refused-" + name.replace(" ", "-"))
        rc, out, err = run(tool, "manifest", *arguments, "-o", out_dir)
        check("%s: exit code %d" % (name, code), rc == code, "%d %s" % (rc, err))
        check("%s: says so" % name, text in err and err.startswith("vellmark manifest: "), err)
        check("%s: writes nothing" % name, not os.path.exists(out_dir) and out == "")


def test_parser():
    """The reader refuses what our quoting must never produce."""
    for text in ["A: b: c\n", "A: \"open\n", "A: x #c\n", "A:\n  - a\n - b\n", "A: 1\nA: 2\n", "A: \"q\"q\"\n"]:
        try:
            parse_yaml(text)
            check("the YAML reader refuses %r" % text, False)
        except YamlError:
            check("the YAML reader refuses %r" % text, True)
    check("the YAML reader reads nesting", parse_yaml("A:\n- B: \"x\\x22\"\n  C: 3\nD: e\n") == {"A": [{"B": 'x"', "C": 3}], "D": "e"})


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tool", required=True)
    parser.add_argument("--make-stub", required=True)
    options = parser.parse_args()
    test_parser()
    with tempfile.TemporaryDirectory() as work:
        stub = os.path.join(work, "stub.exe")
        subprocess.run([options.make_stub, stub], check=True)
        subprocess.run([options.make_stub, "uninstaller", os.path.join(work, "Uninstall.exe")], check=True)
        os.makedirs(os.path.join(work, "win64"))
        subprocess.run([options.make_stub, "win64", os.path.join(work, "win64", "Setup.exe")], check=True)
        subprocess.run([options.make_stub, "uninstaller-win64", os.path.join(work, "win64", "Uninstall.exe")], check=True)
        test_products(os.path.abspath(options.tool), stub, work)
        test_errors(os.path.abspath(options.tool), stub, work)
    return summary()


if __name__ == "__main__":
    sys.exit(main())
