#!/usr/bin/env bash
# Runs a Windows test program once for each Windows version that wine can
# pretend, with VM_EXPECT_WINDOWS naming it, so that the version built-ins
# (iswin95 ... iswinfamily9x) and everything else in the program are checked
# on the Windows 95 and NT paths for real.  A program cannot change the
# version its own process sees, so the setting is made per program
# (HKCU\Software\Wine\AppDefaults\NAME.exe) before each run.
#
# Usage: windows-versions.sh PROGRAM.exe [gtest arguments...]
# Uses a prefix of its own in a temporary folder and removes it afterwards.
# Without an X display, wine's null graphics driver lets the program create
# its (invisible) windows.
set -u
program=$1
shift
here=$(cd "$(dirname "$0")" && pwd)
wine_run="$here/../../../scripts/wine-run"
name=$(basename "$program")

work=$(mktemp -d "${TMPDIR:-/tmp}/vellmark-versions.XXXXXX")
export WINEPREFIX="$work/prefix"
finish() {
  "$wine_run" --wineserver -k >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap finish EXIT

timeout 300 "$wine_run" wineboot --init >/dev/null 2>&1 || true
if [ -z "${DISPLAY:-}" ]; then
  "$wine_run" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
  # The desktop reads the driver setting when it starts.
  "$wine_run" --wineserver -k >/dev/null 2>&1 || true
fi

passed=0
failed=0
for version in win95 win98 winme nt40 win2k winxp win7 win10; do
  "$wine_run" reg add "HKCU\\Software\\Wine\\AppDefaults\\$name" /v Version /d "$version" /f >/dev/null 2>&1
  if VM_EXPECT_WINDOWS=$version timeout 300 "$wine_run" "$program" "$@" >"$work/$version.log" 2>&1; then
    passed=$((passed + 1))
    echo "$version: passed"
  else
    failed=$((failed + 1))
    echo "$version: FAILED"
    cat "$work/$version.log"
  fi
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
