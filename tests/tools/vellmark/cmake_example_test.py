#!/usr/bin/env python3
"""The CMake example (examples/cmake-hello) as a publisher builds it: configured
against an installed vellmark (find_package(Vellmark)), cross-compiled with
mingw-w64, cpack'ed into a setup by the Vellmark CPack generator; the setup
then installed and removed under wine by `vellmark try`, whose report must
show the program, its shortcut and its uninstall entry, and nothing left.

usage: cmake_example_test.py --root SOURCE_DIR --prefix INSTALLED_PREFIX [--work DIR]
"""
import argparse
import hashlib
import json
import os
import shutil
import subprocess
import sys
import tempfile

failures = 0


def check(name, condition, detail=""):
    global failures
    if condition:
        print("ok: " + name)
    else:
        failures += 1
        print("FAIL: " + name + ("\n  " + detail.replace("\n", "\n  ") if detail else ""))


def run(command, cwd=None, timeout=900):
    result = subprocess.run(command, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout,
                            check=False)
    return result.returncode, result.stdout.decode("utf-8", "replace"), result.stderr.decode("utf-8", "replace")


def same_program(program, setup):
    """SETUP begins with PROGRAM, but for the PE checksum pack writes anew."""
    with open(program, "rb") as f:
        a = f.read()
    with open(setup, "rb") as f:
        b = f.read(len(a))
    return len(b) == len(a) and sum(1 for x, y in zip(a, b) if x != y) <= 4


def variants(tool, prefix, build, work):
    """The same project packed by cpack with other settings (cpack -D)."""
    def cpack(name, *defines):
        out_dir = os.path.join(work, name)
        command = ["cpack", "-B", out_dir] + [a for d in defines for a in ("-D", d)]
        code, out, err = run(command, cwd=build)
        return code, out + err, os.path.join(out_dir, "cmake-hello-1.2.0-setup.exe")

    code, text, setup = cpack("win32", "CPACK_VELLMARK_ARCH=win32")
    share = os.path.join(prefix, "share", "vellmark")
    check("CPACK_VELLMARK_ARCH=win32: the 32-bit setup program",
          code == 0 and os.path.isfile(setup) and same_program(os.path.join(share, "win32", "Setup.exe"), setup), text)

    code, text, setup = cpack("no-tool", "CPACK_VELLMARK_EXECUTABLE=")
    check("without CPACK_VELLMARK_EXECUTABLE: the tool of the script's installation", code == 0 and
          os.path.isfile(setup) and "Vellmark: " in text, text)

    own = os.path.join(work, "own.ini")
    with open(own, "wb") as f:
        f.write(b"// Company=Own\r\n// Product=Own Hello\r\n// NoUninstall=0\r\n\r\ninstall()\r\n{\r\n"
                b"    makedir(\"%APPDIR%\\\\bin\");\r\n    copy(\"bin\\\\hello.exe\", \"%APPDIR%\\\\bin\\\\hello.exe\");\r\n"
                b"    return !iscopyerror();\r\n}\r\n")
    code, text, setup = cpack("own", "CPACK_VELLMARK_INSTALL_INI=" + own)
    carried = os.path.join(work, "own-carried.ini")
    run([tool, "extract", setup, "Install.ini", "-o", carried])
    with open(own, "rb") as f:
        wanted = f.read()
    got = open(carried, "rb").read() if os.path.isfile(carried) else b""
    check("CPACK_VELLMARK_INSTALL_INI: the project's own script is the package's", code == 0 and got == wanted, text)

    cases = [
        ("an executable the project does not install", ["CPACK_PACKAGE_EXECUTABLES=nothere;Nothing"],
         "CPACK_PACKAGE_EXECUTABLES names nothere, but the project installs no nothere.exe"),
        ("an odd CPACK_PACKAGE_EXECUTABLES", ["CPACK_PACKAGE_EXECUTABLES=hello"],
         "CPACK_PACKAGE_EXECUTABLES holds pairs (executable, label)"),
        ("a bad arch", ["CPACK_VELLMARK_ARCH=arm64"], "CPACK_VELLMARK_ARCH takes win32 or win64, not 'arm64'"),
        ("CPack's placeholder vendor", ["CPACK_PACKAGE_VENDOR=Humanity"],
         "CPACK_PACKAGE_VENDOR is not set (CPack's placeholder is 'Humanity')"),
        ("a missing own Install.ini", ["CPACK_VELLMARK_INSTALL_INI=" + os.path.join(work, "none.ini")],
         "CPACK_VELLMARK_INSTALL_INI names %s, which does not exist" % os.path.join(work, "none.ini")),
        ("a script pack rejects", ["CPACK_VELLMARK_INSTALL_INI=" + os.path.join(work, "bad.ini")],
         "vellmark pack failed (2)"),
    ]
    with open(os.path.join(work, "bad.ini"), "wb") as f:
        f.write(b"// Product=Bad\r\n\r\ninstall()\r\n{\r\n    return copy(;\r\n}\r\n")
    for number, (name, defines, message) in enumerate(cases):
        code, text, setup = cpack("refused%d" % number, *defines)
        flat = " ".join(text.split())
        check("cpack refuses %s: %s" % (name, message), code != 0 and message in flat and not os.path.exists(setup),
              text[-1500:])


def components(tool, prefix, source, work, names):
    """The example with its program and its read-me in two components: CPack
    stages a folder per component, and the setup holds them merged."""
    split = os.path.join(work, "split")
    shutil.copytree(source, split)
    path = os.path.join(split, "CMakeLists.txt")
    with open(path, encoding="utf-8") as f:
        text = f.read()
    text = text.replace("RUNTIME DESTINATION bin)", "RUNTIME DESTINATION bin COMPONENT program)")
    text = text.replace("DESTINATION .)", "DESTINATION . COMPONENT docs)")
    text = text.replace("include(CPack)", "include(CPack)\ncpack_add_component(program)\ncpack_add_component(docs)")
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)
    build = os.path.join(work, "split-build")
    steps = [["cmake", "-S", split, "-B", build, "-DCMAKE_PREFIX_PATH=" + prefix,
              "-DCMAKE_TOOLCHAIN_FILE=" + os.path.join(split, "mingw-w64-x86_64.cmake")],
             ["cmake", "--build", build], ["cpack"]]
    text = ""
    for step in steps:
        code, out, err = run(step, cwd=build if step == ["cpack"] else None)
        text += out + err
        if code != 0:
            break
    setup = os.path.join(build, "cmake-hello-1.2.0-setup.exe")
    code, out, err = run([tool, "list", setup])
    got = sorted(line.split(" ", 3)[3] for line in out.splitlines() if line.count(" ") >= 3)
    check("two components: staged apart, packed as one tree", code == 0 and got == names, repr(got) + text[-1500:])


def main():
    parser = argparse.ArgumentParser(prog="cmake_example_test.py")
    parser.add_argument("--root", required=True)
    parser.add_argument("--prefix", required=True)
    parser.add_argument("--work")
    args = parser.parse_args()
    root = os.path.abspath(args.root)
    prefix = os.path.abspath(args.prefix)
    tool = os.path.join(prefix, "bin", "vellmark")
    work = tempfile.mkdtemp(prefix="cmake-example-", dir=os.path.abspath(args.work) if args.work else None)
    try:
        # The example is copied out: nothing of the source tree is beside it.
        source = os.path.join(work, "cmake-hello")
        shutil.copytree(os.path.join(root, "examples", "cmake-hello"), source)
        build = os.path.join(work, "build")
        code, out, err = run(["cmake", "-S", source, "-B", build,
                              "-DCMAKE_TOOLCHAIN_FILE=" + os.path.join(source, "mingw-w64-x86_64.cmake"),
                              "-DCMAKE_PREFIX_PATH=" + prefix])
        check("configured, finding the installed vellmark", code == 0, out + err)
        if code != 0:
            return
        code, out, err = run(["cmake", "--build", build])
        check("built with mingw-w64", code == 0, out + err)
        code, out, err = run(["cpack"], cwd=build)
        check("cpack: exit 0", code == 0, out + err)
        setup = os.path.join(build, "cmake-hello-1.2.0-setup.exe")
        check("cpack copied the setup out", os.path.isfile(setup), out)
        if not os.path.isfile(setup):
            return
        with open(setup, "rb") as f:
            digest = hashlib.sha256(f.read()).hexdigest()
        with open(setup + ".sha256", encoding="utf-8") as f:
            recorded = f.read().split()
        check("and wrote its SHA-256", recorded[:2] == [digest, "cmake-hello-1.2.0-setup.exe"], repr(recorded))

        code, out, err = run([tool, "list", setup])
        names = sorted(line.split(" ", 3)[3] for line in out.splitlines() if line.count(" ") >= 3)
        check("the package: the staged tree, Install.ini, the licence and our uninstaller",
              names == ["Install.ini", "License.txt", "ReadMe.txt", "Uninstall.exe", "bin", "bin\\hello.exe"],
              repr(names) + err)
        ini = os.path.join(work, "Install.ini")
        run([tool, "extract", setup, "Install.ini", "-o", ini])
        code, out, err = run([tool, "check", ini])
        check("its generated Install.ini is accepted, with the project's settings",
              code == 0 and '"Vellmark Samples"' in out and '"CMake Hello"' in out and '"1.2.0"' in out and
              "NoLicense      0" in out and "NoUninstall    0" in out, out + err)
        with open(ini, "rb") as f:
            text = f.read()
        check("Install.ini has CRLF lines only", text.count(b"\n") == text.count(b"\r\n") > 10)

        variants(tool, prefix, build, work)
        components(tool, prefix, source, work, names)

        code, out, err = run([tool, "try", setup, "--json"], cwd=work)
        try:
            document = json.loads(out)
        except ValueError:
            check("try --json prints one JSON document", False, out[-2000:] + err[-2000:])
            return
        check("try: the setup installs and uninstalls cleanly (exit 0)", code == 0 and document["exit_code"] == 0,
              "exit %d, %s" % (code, document.get("verdict")))
        folder = "C:\\Program Files\\Vellmark Samples\\CMake Hello"
        groups = document["installation"]
        files = {i["path"]: i.get("package_file") for i in groups["files"]}
        check("try: the program installed from its entry",
              files.get(folder + "\\bin\\hello.exe") == "bin\\hello.exe" and
              files.get(folder + "\\ReadMe.txt") == "ReadMe.txt", repr(files))
        menu = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Vellmark Samples\\CMake Hello"
        shortcuts = {i["path"]: i.get("target") or i.get("url") for i in groups["shortcuts"]}
        check("try: the shortcut of CPACK_PACKAGE_EXECUTABLES and the web link", shortcuts == {
            menu + "\\CMake Hello.lnk": folder + "\\bin\\hello.exe",
            menu + "\\CMake Hello on the Web.url": "https://example.com/cmake-hello"}, repr(shortcuts))
        entries = groups["uninstall_entries"]
        values = {v["name"]: v["data"] for v in entries[0]["values"]} if len(entries) == 1 else {}
        check("try: the uninstall entry, with the vendor, version and icon",
              len(entries) == 1 and entries[0]["name"] == "CMake Hello" and
              values.get("DisplayName") == '"CMake Hello"' and values.get("Publisher") == '"Vellmark Samples"' and
              values.get("DisplayVersion") == '"1.2.0"' and
              values.get("DisplayIcon") == '"%s\\bin\\hello.exe"' % folder and
              values.get("URLInfoAbout") == '"https://example.com/cmake-hello"',
              repr(entries))
        removal = document["removal"]
        check("try: removed through the registered uninstaller", removal["ran"] and removal["exit_code"] == 0,
              repr(removal))
        unexpected = [i for i in document["left_behind"] if not i["expected"]]
        check("try: nothing of the product left after removal", document["leftovers"] == 0 and not unexpected and
              not any(folder in (i.get("path") or "") for i in document["left_behind"]), repr(document["left_behind"]))
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("cmake example: %s" % ("passed" if failures == 0 else "%d failed" % failures))


if __name__ == "__main__":
    main()
    sys.exit(1 if failures else 0)
