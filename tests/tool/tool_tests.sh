#!/usr/bin/env bash
# vellmark pack / list / extract as a publisher runs them: results, messages,
# exit codes, and that a refused command leaves nothing behind.
set -u
tool=$1
make_stub=$2
source_dir=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0
failed=0

check() {   # check NAME CONDITION...
  local name=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL: $name"
  fi
}

# run CMD...: stdout to $work/out, stderr to $work/err, exit code to $rc
run() {
  "$@" >"$work/out" 2>"$work/err"
  rc=$?
}

"$make_stub" "$work/stub.exe" || { echo "cannot make the stub"; exit 1; }
hello="$source_dir/examples/hello"

# --- packing the sample product -------------------------------------------------
run "$tool" pack "$hello" -o "$work/a.exe" --stub "$work/stub.exe"
check "pack succeeds" test "$rc" -eq 0
run "$tool" pack "$hello" -o "$work/b.exe" --stub "$work/stub.exe"
check "same tree gives the same bytes" cmp -s "$work/a.exe" "$work/b.exe"
size=$(stat -c %s "$work/a.exe")
check "length is a multiple of 4" test $((size % 4)) -eq 0
check "stub is the image's start" cmp -s -n 1536 "$work/a.exe" "$work/stub.exe"

run "$tool" list "$work/a.exe"
check "list succeeds" test "$rc" -eq 0
paths=$(awk '{print $1, $4}' "$work/out")
expected="d Bin
d Docs
f Install.ini
f License.txt
f Bin\\hello.txt
f Docs\\readme.txt"
check "list shows every entry but the root, folders first in name order" test "$paths" = "$expected"
ini_size=$(stat -c %s "$hello/Install.ini")
check "list shows the size" grep -qE "^f $ini_size [0-9]+ Install.ini\$" "$work/out"

run "$tool" extract "$work/a.exe" Install.ini
check "extract to stdout" cmp -s "$work/out" "$hello/Install.ini"
run "$tool" extract "$work/a.exe" docs/README.TXT -o "$work/readme"
check "extract with slashes and any case, -o" cmp -s "$work/readme" "$hello/Docs/readme.txt"
run "$tool" extract "$work/a.exe" Nothing.txt
check "extract of a missing entry exits 2" test "$rc" -eq 2
check "its message names the file and code 1" grep -qE "^vellmark: $work/a.exe: .* \\(code 1\\)\$" "$work/err"
run "$tool" extract "$work/a.exe" Docs
check "extract of a folder is code 3" grep -q "(code 3)" "$work/err"

# --- list on damaged or foreign files ----------------------------------------------
cp "$work/a.exe" "$work/flipped.exe"
printf '\xff' | dd of="$work/flipped.exe" bs=1 seek=1600 conv=notrunc status=none
run "$tool" list "$work/flipped.exe"
check "flipped byte: exit 2" test "$rc" -eq 2
check "flipped byte: the setup's message and code 7" \
  grep -qx "vellmark: $work/flipped.exe: File corrupted, possible download error. (code 7)" "$work/err"
run "$tool" list "$work/stub.exe"
check "no package: Internal Error 1 (code 5)" grep -qx "vellmark: $work/stub.exe: Internal Error 1 (code 5)" "$work/err"
run "$tool" list "$work/missing.exe"
check "missing file: system reason and code 2" grep -qx "vellmark: $work/missing.exe: No such file or directory (code 2)" "$work/err"

# --- refusals: exit 2, one line, nothing written --------------------------------------
refuses() {   # refuses NAME EXPECTED-TEXT ARGS...
  local name=$1 text=$2
  shift 2
  rm -f "$work/out.exe"
  run "$tool" pack "$@"
  check "$name: exit 2" test "$rc" -eq 2
  check "$name: says why" grep -q -- "$text" "$work/err"
  check "$name: nothing written" test ! -e "$work/out.exe"
  check "$name: no temporary left" test -z "$(ls "$work" | grep 'out.exe.tmp')"
}
refuses "missing source" "no such folder" "$work/nowhere" -o "$work/out.exe" --stub "$work/stub.exe"
mkdir -p "$work/noini"
echo data > "$work/noini/file.txt"
refuses "no Install.ini" "no Install.ini" "$work/noini" -o "$work/out.exe" --stub "$work/stub.exe"
refuses "stub not PE" "not a Windows executable image" "$hello" -o "$work/out.exe" --stub "$hello/License.txt"
refuses "bad level" "--level" "$hello" -o "$work/out.exe" --stub "$work/stub.exe" --level 12

make_tree() {   # a copy of the sample product to spoil
  rm -rf "$work/tree"
  cp -r "$hello" "$work/tree"
}
make_tree
touch "$work/tree/$(printf '\xe6\x97\xa5\xe6\x9c\xac.txt')"
refuses "name outside Windows-1252" "Windows-1252" "$work/tree" -o "$work/out.exe" --stub "$work/stub.exe"
make_tree
touch "$work/tree/a:b.txt"
refuses "name Windows cannot hold" "not a valid Windows file name" "$work/tree" -o "$work/out.exe" --stub "$work/stub.exe"
make_tree
touch "$work/tree/Docs/README.txt"
refuses "names differing in case" "only in letter case" "$work/tree" -o "$work/out.exe" --stub "$work/stub.exe"
make_tree
mkfifo "$work/tree/pipe"
refuses "special file" "neither a file nor a folder" "$work/tree" -o "$work/out.exe" --stub "$work/stub.exe"
make_tree
ln -s "$work/nowhere" "$work/tree/dangling"
refuses "dangling link" "cannot be read" "$work/tree" -o "$work/out.exe" --stub "$work/stub.exe"

# A refused pack leaves an existing output as it was.
echo "previous" > "$work/out.exe"
run "$tool" pack "$work/tree" -o "$work/out.exe" --stub "$work/stub.exe"
check "refused pack keeps the old output" test "$(cat "$work/out.exe")" = "previous"

# Non-ASCII names that Windows-1252 holds are packed in that code page.
make_tree
echo café > "$work/tree/$(printf 'caf\xc3\xa9.txt')"
run "$tool" pack "$work/tree" -o "$work/c.exe" --stub "$work/stub.exe"
check "Windows-1252 name packs" test "$rc" -eq 0
run "$tool" extract "$work/c.exe" "$(printf 'CAF\xc3\xa9.TXT')"
check "and extracts by its name, ASCII letters in any case" test "$(cat "$work/out")" = "café"

# --uninstaller adds Uninstall.exe at the top level.
run "$tool" pack "$hello" -o "$work/u.exe" --stub "$work/stub.exe" --uninstaller "$work/stub.exe" --level 0
run "$tool" extract "$work/u.exe" Uninstall.exe -o "$work/uninst"
check "--uninstaller adds Uninstall.exe" cmp -s "$work/uninst" "$work/stub.exe"

# --help for every command
for c in pack list extract; do
  run "$tool" "$c" --help
  check "$c --help" test "$rc" -eq 0 -a -s "$work/out"
done

echo "tool tests: $passed passed, $failed failed"
test "$failed" -eq 0
