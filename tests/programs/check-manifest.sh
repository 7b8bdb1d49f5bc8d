#!/usr/bin/env bash
# The setup programs and the uninstallers carry resources/Administrator.manifest,
# byte for byte, as their application manifest (resource 1 of type RT_MANIFEST,
# 24): Windows starts them elevated, and nothing in it changes the dialogs' look
# (no Common Controls 6 dependency) or the Windows version the script sees (no
# compatibility section).
set -u
windres=$1
manifest=$2
shift 2
status=0
fail() { echo "FAIL: $*"; status=1; failed=1; }
for program in "$@"; do
  name=$(basename "$program")
  failed=0
  rc=$("$windres" -i "$program" -O rc 2>&1) || { fail "$name: windres cannot read its resources"; continue; }
  count=$(grep -c '^[0-9A-Za-z_]* 24 ' <<<"$rc")
  [ "$count" -eq 1 ] || fail "$name: $count manifest resources instead of one"
  grep -q '^1 24 ' <<<"$rc" || { fail "$name: no manifest as resource 1"; continue; }
  # The resource's text: its string lines joined, with the rc escapes undone.
  text=$(awk '/^1 24 /{inside=1; next} inside && /^END/{exit} inside && /^ *"/{print}' <<<"$rc" |
    sed -e 's/^ *"//' -e 's/"$//' -e 's/""/"/g' | tr -d '\n' | sed -e 's/\\n/\n/g' -e 's/\\t/\t/g' -e 's/\\\\/\\/g')
  if [ "$text" != "$(cat "$manifest")" ]; then
    fail "$name: the manifest resource differs from $(basename "$manifest")"
    diff <(printf '%s\n' "$text") "$manifest" | head -20
  fi
  grep -q 'requestedExecutionLevel level="requireAdministrator"' <<<"$text" ||
    fail "$name: the manifest does not require administrator rights"
  ! grep -qi 'Common-Controls' <<<"$text" || fail "$name: the manifest asks for Common Controls 6"
  ! grep -qiE '<dependency|supportedOS|<compatibility' <<<"$text" || fail "$name: the manifest declares more than its rights"
  [ "$failed" -eq 1 ] || echo "$name: application manifest requires administrator rights"
done
exit $status
