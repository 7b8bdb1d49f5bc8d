#!/usr/bin/env bash
# A setup program runs from wherever it was downloaded to, and the uninstaller
# from wherever its copy lies, so the loader must find nothing they import in
# that folder: every imported DLL has to be one that Windows always takes from
# the system folder.  Everything else is loaded at
# run time by full path (SystemLibrary.h).
set -u
objdump=$1
shift
allowed=" kernel32.dll user32.dll gdi32.dll advapi32.dll msvcrt.dll "
status=0
for program in "$@"; do
  dlls=$("$objdump" -p "$program" | awk '/DLL Name:/ {print tolower($3)}' | sort -u)
  for dll in $dlls; do
    case "$allowed" in
      *" $dll "*) ;;
      *) echo "FAIL: $(basename "$program") imports $dll, which the loader may take from the program's folder"; status=1 ;;
    esac
  done
  echo "$(basename "$program") imports:" $dlls
done
exit $status
