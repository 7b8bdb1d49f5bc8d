#!/usr/bin/env bash
# Runs the setup program's full-disk case (setup_tests) on a small
# filesystem that the installation fills up, mapped to the wine drive T: of
# the prefix the tests run in.  Mounting needs root; where it cannot be done
# the case is skipped (exit 77) with a line that says why.
#
# Usage: full-disk.sh SETUP_TESTS.exe
set -u
program=$1
here=$(cd "$(dirname "$0")" && pwd)
wine_run="$here/../../../scripts/wine-run"
if [ -z "${WINEPREFIX:-}" ] || [ ! -d "$WINEPREFIX/dosdevices" ]; then
  echo "full-disk: no wine prefix of the test run (WINEPREFIX); skipped"
  exit 77
fi
if [ -e "$WINEPREFIX/dosdevices/t:" ]; then
  echo "full-disk: the prefix has a drive T: already; skipped"
  exit 77
fi
mount_point=$(mktemp -d "${TMPDIR:-/tmp}/vellmark-full-disk.XXXXXX")
# Room for the first files and the journal's neighbours, not for the big one.
if ! mount -t tmpfs -o size=2m tmpfs "$mount_point" 2>/dev/null; then
  echo "full-disk: cannot mount a small filesystem here (it needs root); skipped"
  rmdir "$mount_point"
  exit 77
fi
finish() {
  rm -f "$WINEPREFIX/dosdevices/t:"
  umount "$mount_point"
  rmdir "$mount_point"
}
trap finish EXIT
ln -s "$mount_point" "$WINEPREFIX/dosdevices/t:"
VM_FULL_DISK_DRIVE=T: timeout 300 "$wine_run" "$program" --gtest_filter='*FullDisk*'
