"""What the tool's Python tests share: one check at a time, counted, printed
as "ok"/"FAIL" lines, and the tool run with its output as text."""

import subprocess

counts = {"passed": 0, "failed": 0}


def check(name, condition, detail=""):
    if condition:
        counts["passed"] += 1
        print("ok   " + name)
    else:
        counts["failed"] += 1
        print("FAIL " + name + (": " + detail if detail else ""))


def run(*arguments, cwd=None):
    """(exit code, standard output, standard error) of a command."""
    result = subprocess.run(list(arguments), capture_output=True, cwd=cwd)
    return result.returncode, result.stdout.decode("utf-8"), result.stderr.decode("utf-8")


def summary():
    """Prints "N passed, M failed" and gives the exit code: 1 when one failed."""
    print("%d passed, %d failed" % (counts["passed"], counts["failed"]))
    return 1 if counts["failed"] else 0
