#!/usr/bin/env bash
# vellmark pack / list / extract as a publisher runs them: results, messages,
# exit codes, and that a refused command leaves nothing behind.
set -u
tool=$1
make_stub=$2
source_dir=$3
if [ ! -x "$tool" ]; then
  echo "tool tests: $tool is not built (scripts/build release); skipped"
  exit 77
fi
source "$(dirname "$0")/checks.sh"

"$make_stub" "$work/stub.exe" || { echo "cannot make the stub"; exit 1; }
# Our uninstaller beside the stub, as build/win64/Uninstall.exe lies beside
# build/win64/Setup.exe: pack carries it by default.
printf 'MZ: the uninstaller beside the stub' >"$work/Uninstall.exe"
hello="$source_dir/examples/hello"

# --- packing the sample product -------------------------------------------------
run "$tool" pack "$hello" -o "$work/a.exe" --stub "$work/stub.exe"
check "pack succeeds" test "$rc" -eq 0
run "$tool" pack "$hello" -o "$work/b.exe" --stub "$work/stub.exe"
check "same tree gives the same bytes" cmp -s "$work/a.exe" "$work/b.exe"
size=$(stat -c %s "$work/a.exe")
check "length is a multiple of 4" test $((size % 4)) -eq 0
# The image is the stub's, but for its CheckSum field (bytes 216 to 219),
# which pack writes for the whole setup.
check "stub is the image's start" cmp -s -n 216 "$work/a.exe" "$work/stub.exe"
check "stub is the image's start, after its CheckSum" cmp -s -i 220 -n $((1536 - 220)) "$work/a.exe" "$work/stub.exe"
check "the setup's checksum is correct" grep -qE "^PE checksum: [0-9A-F]{8}, correct\$" <("$tool" verify "$work/a.exe")

run "$tool" list "$work/a.exe"
check "list succeeds" test "$rc" -eq 0
paths=$(awk '{print $1, $4}' "$work/out")
expected="d Bin
d Docs
f Install.ini
f License.txt
f Bin\\hello.txt
f Docs\\readme.txt
f Uninstall.exe"
check "list shows every entry but the root, folders first in name order, our uninstaller last" test "$paths" = "$expected"
ini_size=$(stat -c %s "$hello/Install.ini")
check "list shows the size" grep -qE "^f $ini_size [0-9]+ Install.ini\$" "$work/out"

run "$tool" extract "$work/a.exe" Install.ini
check "extract to stdout" cmp -s "$work/out" "$hello/Install.ini"
run "$tool" extract "$work/a.exe" docs/README.TXT -o "$work/readme"
check "extract with slashes and any case, -o" cmp -s "$work/readme" "$hello/Docs/readme.txt"
run "$tool" extract "$work/a.exe" Nothing.txt
check "extract of a missing entry exits 2" test "$rc" -eq 2
check "its message names the file and code 1" grep -qE "^vellmark extract: $work/a.exe: .* \\(code 1\\)\$" "$work/err"
run "$tool" extract "$work/a.exe" Docs
check "extract of a folder is code 3" grep -q "(code 3)" "$work/err"

# --- extract -o never removes what it did not write -----------------------------------
# Each case: the output as it was must still be there after a refusal, and no
# temporary file may be left beside it.
no_temporary() { test -z "$(ls -A "$1" | grep '\.tmp-')"; }
mkdir -p "$work/x/empty-folder"
run "$tool" extract "$work/a.exe" Install.ini -o "$work/x/empty-folder"
check "-o a folder: exit 2" test "$rc" -eq 2
check "-o a folder: says so" grep -q "is a folder" "$work/err"
check "-o a folder: the folder stays" test -d "$work/x/empty-folder"
ln -s "$work/nowhere/file" "$work/x/dangling"
run "$tool" extract "$work/a.exe" Install.ini -o "$work/x/dangling"
check "-o a dangling link: exit 2" test "$rc" -eq 2
check "-o a dangling link: the link stays" test -L "$work/x/dangling"
mkfifo "$work/x/fifo"
run timeout 20 "$tool" extract "$work/a.exe" Install.ini -o "$work/x/fifo"
check "-o a pipe: refused at once" test "$rc" -eq 2
check "-o a pipe: the pipe stays" test -p "$work/x/fifo"
echo "kept" >"$work/x/old.txt"
run "$tool" extract "$work/a.exe" Nothing.txt -o "$work/x/old.txt"
check "failed extraction keeps the old output" test "$(cat "$work/x/old.txt")" = "kept"
run "$tool" extract "$work/a.exe" Install.ini -o "$work/nowhere/new.txt"
check "-o in a missing folder: exit 2" test "$rc" -eq 2
echo "old" >"$work/x/target.txt"
ln -s "$work/x/target.txt" "$work/x/link"
run "$tool" extract "$work/a.exe" Install.ini -o "$work/x/link"
check "-o a link: written through" cmp -s "$work/x/target.txt" "$hello/Install.ini"
check "-o a link: the link stays a link" test -L "$work/x/link"
run "$tool" extract "$work/a.exe" Install.ini -o "$work/x/old.txt"
check "-o an existing file: replaced" cmp -s "$work/x/old.txt" "$hello/Install.ini"
check "no temporary file left beside the outputs" no_temporary "$work/x"
# A read-only file in a writable folder, as a user without the right to write it.
echo "read-only" >"$work/x/readonly.txt"
chmod 444 "$work/x/readonly.txt"
as_user=()
if [ "$(id -u)" = 0 ]; then
  as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
  chmod 755 "$work"
  chmod 777 "$work/x"
  chmod 644 "$work/a.exe"
fi
run "${as_user[@]}" "$tool" extract "$work/a.exe" Install.ini -o "$work/x/readonly.txt"
check "-o a read-only file: exit 2" test "$rc" -eq 2
check "-o a read-only file: kept as it was" test "$(cat "$work/x/readonly.txt")" = "read-only"
check "-o a read-only file: no temporary left" no_temporary "$work/x"

# --- list prints names so that no name can act on the terminal or forge a line ----------
"$make_stub" hostile "$work/hostile.exe" || { echo "cannot make the hostile package"; exit 1; }
run "$tool" list "$work/hostile.exe"
check "hostile names: list succeeds" test "$rc" -eq 0
# (compressed sizes as libdeflate writes them: it stores inputs this small)
expected_listing='f 22 33 Install.ini
d 0 0 esc\x1B[2Jclear
f 1 12 esc\x1B[2Jclear\line\x0Af 1 1 forged.txt
f 1 12 back\x5Cslash
f 1 12 quote\x22del\x7F
f 1 12 bell\x07tab\x09cr\x0D
f 1 12 café.txt'
check "hostile names: one line each, bytes escaped as log does" test "$(cat "$work/out")" = "$expected_listing"
"$make_stub" deep "$work/deep.exe" || { echo "cannot make the deep package"; exit 1; }
run "$tool" list "$work/deep.exe"
check "deep chain and loop: exit 1" test "$rc" -eq 1
check "deep chain: 130 folders are a path" grep -qE '^d 0 0 (d\\){129}d$' "$work/out"
check "deep chain: the Install.ini line and 130 folders listed" test "$(wc -l <"$work/out")" -eq 131
check "deep chain and loop: one error line per entry too deep" test "$(grep -c 'deeper than 130 folders' "$work/err")" -eq 12
check "the loop's entries are reported" grep -q "^vellmark list: $work/deep.exe: entry 143: " "$work/err"

# --- list on damaged or foreign files ----------------------------------------------
cp "$work/a.exe" "$work/flipped.exe"
printf '\xff' | dd of="$work/flipped.exe" bs=1 seek=1600 conv=notrunc status=none
run "$tool" list "$work/flipped.exe"
check "flipped byte: exit 2" test "$rc" -eq 2
check "flipped byte: the setup's message and code 7" \
  grep -qx "vellmark list: $work/flipped.exe: File corrupted, possible download error. (code 7)" "$work/err"
run "$tool" list "$work/stub.exe"
# A file that carries no package at all says so, beside the setup's own word:
# a plain PE, an empty file, a setup cut short inside its setup program.
: >"$work/empty.exe"
head -c 600 "$work/a.exe" >"$work/cut-short.exe"
for case in "stub.exe 5" "empty.exe 3" "cut-short.exe 5"; do
  set -- $case
  for command in list "extract -d $work/no-package-out"; do
    run "$tool" $command "$work/$1"
    check "$1, $command: exit 2" test "$rc" -eq 2
    check "$1, $command: no package, and the setup's message and code $2" grep -qx \
      "vellmark ${command%% *}: $work/$1 holds no Vellmark package (the setup program would stop with \"Internal Error 1\", code $2)" "$work/err"
  done
done
check "extract -d on no package makes no folder" test ! -e "$work/no-package-out"
# A package cut short inside itself is damaged, not missing.
head -c $(( $(stat -c %s "$work/a.exe") - 40 )) "$work/a.exe" >"$work/cut-package.exe"
run "$tool" list "$work/cut-package.exe"
check "a cut package: the setup's message, no 'holds no' line" grep -qx "vellmark list: $work/cut-package.exe: File corrupted, possible download error. (code 6)" "$work/err"
run "$tool" list "$work/missing.exe"
check "missing file: system reason and code 2" grep -qx "vellmark list: $work/missing.exe: No such file or directory (code 2)" "$work/err"

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
refuses "bad level" "--level" "$hello" -o "$work/out.exe" --stub "$work/stub.exe" --level 13
refuses "bad level" "--level" "$hello" -o "$work/out.exe" --stub "$work/stub.exe" --level -1
for level in 0 1 12; do
  rm -rf "$work/lv"
  run "$tool" pack "$hello" -o "$work/lv.exe" --stub "$work/stub.exe" --level $level --no-uninstaller
  check "--level $level packs" test "$rc" -eq 0
  run "$tool" extract "$work/lv.exe" -d "$work/lv"
  check "--level $level: every entry comes back" diff -r "$hello" "$work/lv"
done

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

for name in CON con.txt Com1.log lpt9 AUX.tar.gz nul PRN "$(printf 'COM\xc2\xb9')" "trailing dot." "trailing blank "; do
  make_tree
  touch "$work/tree/Docs/$name"
  refuses "name Windows reserves: '$name'" "not a valid Windows file name" "$work/tree" -o "$work/out.exe" --stub "$work/stub.exe"
done
make_tree
mkdir "$work/tree/Aux"
refuses "folder named Aux" "not a valid Windows file name" "$work/tree" -o "$work/out.exe" --stub "$work/stub.exe"
make_tree
for name in COM0 LPT10 console con_1 Conx.txt "a.con"; do touch "$work/tree/Docs/$name"; done
run "$tool" pack "$work/tree" -o "$work/names.exe" --stub "$work/stub.exe"
check "names near the reserved ones pack" test "$rc" -eq 0

# The script is checked before packing; --no-check packs a rejected one anyway.
make_tree
printf 'init() { return 1 }\r\n' >"$work/tree/Install.ini"
refuses "rejected script" "the script is rejected" "$work/tree" -o "$work/out.exe" --stub "$work/stub.exe"
check "rejected script: the engine's report" grep -q "Install.ini:1:18: error: Expected ; at 17 (return)" "$work/err"
run "$tool" pack "$work/tree" -o "$work/nocheck.exe" --stub "$work/stub.exe" --no-check
check "--no-check packs a rejected script" test "$rc" -eq 0

# A script larger than the setup program accepts (16 MB) is refused by check
# and by pack, --no-check or not; one of exactly 16 MB is a script like any.
make_tree
{ printf 'init() { return 1; }\r\n'; head -c $((16 * 1048576 - 22)) /dev/zero | tr '\0' '\n'; } >"$work/tree/Install.ini"
check "the 16 MB script is 16 MB" test "$(stat -c %s "$work/tree/Install.ini")" -eq $((16 * 1048576))
run "$tool" check "$work/tree/Install.ini"
check "check: a script of exactly 16 MB is accepted" test "$rc" -eq 0
printf '\n' >>"$work/tree/Install.ini"
run "$tool" check "$work/tree/Install.ini"
check "check: one byte more is refused (exit 1)" test "$rc" -eq 1
check "check: in one line that says why" test "$(cat "$work/err")" = \
  "$work/tree/Install.ini: error: larger than 16 MB (16777216 bytes), which the setup program refuses as a script error"
refuses "script over 16 MB" "larger than 16 MB" "$work/tree" -o "$work/out.exe" --stub "$work/stub.exe"
refuses "script over 16 MB, --no-check" "larger than 16 MB" "$work/tree" -o "$work/out.exe" --stub "$work/stub.exe" --no-check

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

# --- the uninstaller a package carries ------------------------------------------------
# uninstaller_of SETUP: the Uninstall.exe entry of the package into $work/uninst, or no file.
uninstaller_of() {
  rm -f "$work/uninst"
  "$tool" extract "$1" Uninstall.exe -o "$work/uninst" >/dev/null 2>&1
}
run "$tool" pack "$hello" -o "$work/u.exe" --stub "$work/stub.exe"
uninstaller_of "$work/u.exe"
check "by default: the Uninstall.exe beside the stub" cmp -s "$work/uninst" "$work/Uninstall.exe"
run "$tool" pack "$hello" -o "$work/u.exe" --stub "$work/stub.exe" --uninstaller "$work/stub.exe" --level 0
uninstaller_of "$work/u.exe"
check "--uninstaller FILE: that file instead" cmp -s "$work/uninst" "$work/stub.exe"
run "$tool" pack "$hello" -o "$work/u.exe" --stub "$work/stub.exe" --no-uninstaller
uninstaller_of "$work/u.exe"
check "--no-uninstaller: none" test ! -e "$work/uninst"
run "$tool" list "$work/u.exe"
check "--no-uninstaller: list shows none" test -z "$(grep -i 'Uninstall.exe' "$work/out")"
make_tree
printf 'MZ: the product'"'"'s own uninstaller' >"$work/tree/Uninstall.exe"
for flag in "" --no-uninstaller; do
  run "$tool" pack "$work/tree" -o "$work/u.exe" --stub "$work/stub.exe" $flag
  uninstaller_of "$work/u.exe"
  check "a tree with its own Uninstall.exe keeps it ${flag:-by default}" cmp -s "$work/uninst" "$work/tree/Uninstall.exe"
done
refuses "--uninstaller beside a tree's own" "already holds an Uninstall.exe" "$work/tree" -o "$work/out.exe" \
  --stub "$work/stub.exe" --uninstaller "$work/stub.exe"
refuses "--uninstaller and --no-uninstaller" "exclude each other" "$hello" -o "$work/out.exe" \
  --stub "$work/stub.exe" --uninstaller "$work/stub.exe" --no-uninstaller
refuses "--uninstaller of a missing file" "no such file" "$hello" -o "$work/out.exe" \
  --stub "$work/stub.exe" --uninstaller "$work/nowhere.exe"
# A stub with no Uninstall.exe beside it: an error that says what to do.
mkdir -p "$work/lone"
cp "$work/stub.exe" "$work/lone/Setup.exe"
refuses "a stub without an uninstaller beside it" "no Uninstall.exe beside $work/lone/Setup.exe" "$hello" \
  -o "$work/out.exe" --stub "$work/lone/Setup.exe"
check "and the message names both ways out" grep -q -- "--uninstaller FILE.*--no-uninstaller" "$work/err"
run "$tool" pack "$hello" -o "$work/u.exe" --stub "$work/lone/Setup.exe" --no-uninstaller
check "which --no-uninstaller packs" test "$rc" -eq 0
run "$tool" pack "$hello" -o "$work/u.exe" --stub "$work/lone/Setup.exe" --uninstaller "$work/Uninstall.exe"
check "and --uninstaller packs" test "$rc" -eq 0
# --arch: the uninstaller beside the setup program found for that architecture.
mkdir -p "$work/stubs"
"$make_stub" win64 "$work/stubs/Setup.exe"
printf 'MZ: the win64 uninstaller' >"$work/stubs/Uninstall.exe"
run env VELLMARK_STUB_DIR="$work/stubs" "$tool" pack "$hello" -o "$work/u.exe" --arch win64
uninstaller_of "$work/u.exe"
check "--arch: the Uninstall.exe beside that Setup.exe" cmp -s "$work/uninst" "$work/stubs/Uninstall.exe"

# --- extract -d: whole packages and subtrees into a folder --------------------------
make_tree
mkdir -p "$work/tree/$(printf '\xc3\x9cber')/Tiefe"
printf 'caf\xc3\xa9\n' >"$work/tree/Docs/$(printf 'caf\xc3\xa9.txt')"
printf 'deep\n' >"$work/tree/$(printf '\xc3\x9cber')/Tiefe/$(printf '\xe2\x82\xac uro.txt')"
head -c 300000 /dev/urandom >"$work/tree/Bin/random.bin"
: >"$work/tree/Bin/empty.txt"
mkdir -p "$work/tree/Empty folder"
run "$tool" pack "$work/tree" -o "$work/d.exe" --stub "$work/stub.exe" --no-uninstaller
check "-d: the tree packs" test "$rc" -eq 0
run "$tool" extract "$work/d.exe" -d "$work/d/out"
check "-d: exit 0" test "$rc" -eq 0
check "-d: the same tree comes back, UTF-8 names, empty folder and file included" diff -r "$work/tree" "$work/d/out"
check "-d: says what it wrote" grep -qx "$work/d/out: 8 files and 5 folders extracted, [0-9]* bytes" "$work/out"
check "-d: no temporary file left" test -z "$(find "$work/d" -name '*.tmp-*')"

run "$tool" extract "$work/d.exe" -d "$work/d/sub" "$(printf '\xc3\x9cBER')" bin/HELLO.TXT
check "-d with paths: exit 0" test "$rc" -eq 0
check "-d with paths: those subtrees and the folders above them" test "$(cd "$work/d/sub" && find . | sort | tr '\n' ' ')" = \
  "$(printf '. ./Bin ./Bin/hello.txt ./\xc3\x9cber ./\xc3\x9cber/Tiefe ./\xc3\x9cber/Tiefe/\xe2\x82\xac uro.txt ')"
run "$tool" extract "$work/d.exe" -d "$work/d/none" Docs/nothing.txt
check "-d with a missing path: exit 2 and code 1" grep -q "(code 1)" "$work/err"
check "-d with a missing path: no folder made" test ! -e "$work/d/none"

# Existing files are replaced only with --force, and a refusal writes nothing.
echo "mine" >"$work/d/sub/Bin/hello.txt"
run "$tool" extract "$work/d.exe" -d "$work/d/sub"
check "existing file: exit 2" test "$rc" -eq 2
check "existing file: named, and --force suggested" grep -q "Bin/hello.txt: exists already (--force replaces it)" "$work/err"
check "existing file: kept" test "$(cat "$work/d/sub/Bin/hello.txt")" = "mine"
check "existing file: nothing else written" test ! -e "$work/d/sub/Install.ini" -a ! -e "$work/d/sub/Docs"
run "$tool" extract "$work/d.exe" -d "$work/d/sub" --force
check "--force: exit 0" test "$rc" -eq 0
check "--force: replaced, and the rest written" diff -r "$work/tree" "$work/d/sub"

# Links are never written through: not in a file's place, not in a folder's.
mkdir -p "$work/d/outside"
echo "outside" >"$work/d/outside/target.txt"
mkdir -p "$work/d/linked"
ln -s "$work/d/outside/target.txt" "$work/d/linked/Install.ini"
run "$tool" extract "$work/d.exe" -d "$work/d/linked" Install.ini
check "link in a file's place: refused without --force" test "$rc" -eq 2
run "$tool" extract "$work/d.exe" -d "$work/d/linked" Install.ini --force
check "link in a file's place, --force: exit 0" test "$rc" -eq 0
check "link in a file's place, --force: the link became the file" test ! -L "$work/d/linked/Install.ini"
check "link in a file's place, --force: its target untouched" test "$(cat "$work/d/outside/target.txt")" = "outside"
mkdir -p "$work/d/linkdir"
ln -s "$work/d/outside" "$work/d/linkdir/Docs"
run "$tool" extract "$work/d.exe" -d "$work/d/linkdir" --force
check "link in a folder's place: refused" test "$rc" -eq 2
check "link in a folder's place: says so" grep -q "linkdir/Docs: is a link" "$work/err"
check "link in a folder's place: nothing written through it" test "$(ls "$work/d/outside")" = "target.txt"
check "link in a folder's place: nothing written at all" test "$(ls "$work/d/linkdir")" = "Docs"
echo "file" >"$work/d/afile"
run "$tool" extract "$work/d.exe" -d "$work/d/afile"
check "-d onto a file: refused" test "$rc" -eq 2 -a "$(cat "$work/d/afile")" = "file"
run "$tool" extract "$work/d.exe" -d "$work/d/x" -o "$work/d/y"
check "-d with -o: a usage error" test "$rc" -eq 2 -a ! -e "$work/d/x" -a ! -e "$work/d/y"

# Names that would leave DIR, or are no file name, are refused before anything
# is written; the same package's other entries are not written either.
mkdir -p "$work/d/jail"
for name in ".." "../escaped" "/tmp/absolute" "C:evil" "C:" "stream.txt:hidden" "back\\..\\slash" \
            "$(printf 'tab\tname')" "$(printf 'esc\x1b[2J')" "con.txt" "trailing." "../" "a:b/"; do
  "$make_stub" named "$work/named.exe" "$name" || { echo "cannot make the package named '$name'"; exit 1; }
  run "$tool" extract "$work/named.exe" -d "$work/d/jail/out"
  check "name '$name': exit 2" test "$rc" -eq 2
  check "name '$name': the entry is named" grep -q "^vellmark extract: $work/named.exe: entry 4 (.*nothing was written\$" "$work/err"
  check "name '$name': nothing written" test -z "$(ls -A "$work/d/jail")"
  check "name '$name': nothing beside DIR" test ! -e "$work/d/escaped" -a ! -e "$work/d/jail/escaped" -a ! -e /tmp/absolute
  run "$tool" extract "$work/named.exe" -d "$work/d/jail/out" Docs
  check "name '$name': another subtree still extracts" test "$rc" -eq 0 -a "$(cat "$work/d/jail/out/Docs/ok.txt")" = "ok"
  rm -rf "$work/d/jail/out"
done
run "$tool" extract "$work/hostile.exe" -d "$work/d/jail/out"
check "hostile names: refused" test "$rc" -eq 2 -a -z "$(ls -A "$work/d/jail")"
run "$tool" extract "$work/deep.exe" -d "$work/d/jail/out"
check "deep chain and loop: refused" test "$rc" -eq 2 -a -z "$(ls -A "$work/d/jail")"
check "deep chain and loop: says why" grep -qE "entry [0-9]+ .*(deeper than 130 folders|parent that is no folder)" "$work/err"

# --help for every command
for c in pack list extract verify; do
  run "$tool" "$c" --help
  check "$c --help" test "$rc" -eq 0 -a -s "$work/out"
done
for c in check log; do
  run "$tool" "$c" -h
  check "$c -h" test "$rc" -eq 0 -a -s "$work/out" -a ! -s "$work/err"
done

# Every command reads its command line one way and words its errors one way:
# one line "vellmark COMMAND: ...", exit 2, nothing on stdout.
for c in pack list extract check log verify; do
  run "$tool" "$c" --bogus "$work/a.exe"
  check "$c: an unknown option is one error line" test "$rc" -eq 2 -a ! -s "$work/out" -a \
    "$(cat "$work/err")" = "vellmark $c: unknown option '--bogus' (see 'vellmark $c --help')"
  run "$tool" "$c"
  check "$c without operands: one error line" test "$rc" -eq 2 -a ! -s "$work/out" -a \
    "$(wc -l <"$work/err")" -eq 1 -a "$(grep -c "^vellmark $c: .* (see 'vellmark $c --help')\$" "$work/err")" -eq 1
done
run "$tool" pack "$hello" -o
check "a missing value: named" test "$rc" -eq 2 -a "$(cat "$work/err")" = \
  "vellmark pack: no OUT.exe given after -o (see 'vellmark pack --help')"
run "$tool" pack "$hello" --output="$work/eq.exe" --stub="$work/stub.exe" --level=0
check "--option=VALUE packs" test "$rc" -eq 0 -a -s "$work/eq.exe"
run "$tool" extract -d "$work/dash" -- "$work/a.exe" Install.ini
check "-- ends the options" cmp -s "$work/dash/Install.ini" "$hello/Install.ini"

summary "tool tests"
