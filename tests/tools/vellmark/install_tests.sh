#!/usr/bin/env bash
# The tool as it is installed and as it chooses its setup programs:
#   - pack checks the architecture of the setup program and the uninstaller
#     it packs against --arch (test images from make_test_stub, and the real
#     build/win32 and build/win64 programs when they are built);
#   - when no setup program is found, the message names every place looked in;
#   - `cmake --install BUILD --prefix P` (and, given one, the Debian package
#     unpacked with dpkg-deb -x) gives a tool that packs, lists and checks with
#     nothing of the source tree in reach, and says in --version what it found.
# Usage: install_tests.sh TOOL MAKE_TEST_STUB SOURCE_DIR [BUILD_DIR [PACKAGE.deb]]
set -u
tool=$1
make_stub=$2
source_dir=$(cd "$3" && pwd)
build_dir=${4:-}
deb=${5:-}
if [ ! -x "$tool" ]; then
  echo "install tests: $tool is not built; skipped"
  exit 77
fi
check_shows_err=1
source "$(dirname "$0")/checks.sh"
unset VELLMARK_STUB_DIR VELLMARK_SHARE_DIR

# run_in DIR CMD...: run, in DIR (and back).
run_in() {
  local dir=$1
  shift
  pushd "$dir" >/dev/null || exit 1
  run "$@"
  popd >/dev/null || exit 1
}

hello=$work/hello
cp -r "$source_dir/examples/hello" "$hello"

# --- the architecture of what pack packs ---------------------------------------------
for m in win64 win64-pe32 arm64; do
  "$make_stub" "$m" "$work/$m.exe" && "$make_stub" "uninstaller-$m" "$work/uninstaller-$m.exe" ||
    { echo "cannot make the $m test images"; exit 1; }
done
"$make_stub" "$work/win32.exe" && "$make_stub" uninstaller "$work/uninstaller-win32.exe" ||
  { echo "cannot make the test images"; exit 1; }
for a in win32 win64; do
  mkdir -p "$work/stubs-$a"
  cp "$work/$a.exe" "$work/stubs-$a/Setup.exe"
  cp "$work/uninstaller-$a.exe" "$work/stubs-$a/Uninstall.exe"
done
mkdir -p "$work/mixed"
cp "$work/win64.exe" "$work/mixed/Setup.exe"
cp "$work/uninstaller-win32.exe" "$work/mixed/Uninstall.exe"
mkdir -p "$work/own"
cp -r "$hello/." "$work/own/"
cp "$work/uninstaller-win32.exe" "$work/own/Uninstall.exe"

# Each case: name | environment's VELLMARK_STUB_DIR (- none) | pack options | exit code |
# a line the output (0) or the error (2) holds, as a fixed string.
while IFS='|' read -r name dir options code text; do
  [ -n "$name" ] || continue
  rm -f "$work/out.exe"
  env=()
  [ "$dir" = - ] || env=(VELLMARK_STUB_DIR="$work/$dir")
  options=${options//\$work/$work}
  text=${text//\$work/$work}
  # shellcheck disable=SC2086
  run env "${env[@]}" "$tool" pack "$hello" -o "$work/out.exe" $options
  if [ "$code" -eq 0 ]; then
    check "$name: packs" test "$rc" -eq 0 -a -s "$work/out.exe"
    check "$name: says so" grep -qF -- "$text" "$work/out"
  else
    check "$name: refused (exit $rc)" test "$rc" -eq 2 -a ! -e "$work/out.exe"
    check "$name: says why" grep -qF -- "$text" "$work/err"
  fi
done <<'EOF'
win64 programs, --arch win32|stubs-win64|--arch win32|2|$work/stubs-win64/Setup.exe: the setup program is win64 (x86-64, PE32+), but --arch asked for win32
win64 programs, no --arch|stubs-win64||2|$work/stubs-win64/Setup.exe: the setup program is win64 (x86-64, PE32+), but pack makes a win32 setup unless --arch says otherwise
win32 programs, --arch win64|stubs-win32|--arch win64|2|the setup program is win32 (x86, PE32), but --arch asked for win64
win64 programs, --arch win64|stubs-win64|--arch win64|0|$work/out.exe: 5 files and 2 folders packed
win32 programs, no --arch|stubs-win32||0|$work/out.exe: 5 files and 2 folders packed
--stub win64: its architecture|-|--stub $work/win64.exe --uninstaller $work/uninstaller-win64.exe|0|$work/win64.exe: win64 (x86-64, PE32+) setup program
--stub win32: its architecture|-|--stub $work/win32.exe --uninstaller $work/uninstaller-win32.exe|0|$work/win32.exe: win32 (x86, PE32) setup program
--stub win64 --arch win64|-|--stub $work/win64.exe --arch win64 --no-uninstaller|0|win64 (x86-64, PE32+) setup program
--stub win64 --arch win32|-|--stub $work/win64.exe --arch win32 --no-uninstaller|2|$work/win64.exe: the setup program is win64 (x86-64, PE32+), but --arch asked for win32
--stub x86-64 with a PE32 header|-|--stub $work/win64-pe32.exe --no-uninstaller|2|$work/win64-pe32.exe: the setup program is neither win32 nor win64 (x86-64, PE32); setups are packed for win32
--stub arm64|-|--stub $work/arm64.exe --no-uninstaller|2|the setup program is neither win32 nor win64 (machine 0xAA64, PE32+)
--uninstaller win32 for win64|-|--stub $work/win64.exe --uninstaller $work/uninstaller-win32.exe|2|$work/uninstaller-win32.exe: the uninstaller is win32 (x86, PE32), but the setup is packed for win64 (the --stub's)
--uninstaller win64 for win32|-|--stub $work/win32.exe --arch win32 --uninstaller $work/uninstaller-win64.exe|2|the uninstaller is win64 (x86-64, PE32+), but the setup is packed for win32 (--arch win32)
the win32 Uninstall.exe beside a win64 Setup.exe|mixed|--arch win64|2|$work/mixed/Uninstall.exe: the uninstaller is win32 (x86, PE32), but the setup is packed for win64
EOF
# A tree that carries its own uninstaller.
rm -f "$work/out.exe"
run "$tool" pack "$work/own" -o "$work/out.exe" --stub "$work/win64.exe"
check "the tree's own win32 Uninstall.exe, win64: refused" test "$rc" -eq 2 -a ! -e "$work/out.exe"
check "the tree's own win32 Uninstall.exe, win64: names it" \
  grep -qF "$work/own/Uninstall.exe: the uninstaller is win32 (x86, PE32), but the setup is packed for win64" "$work/err"
run "$tool" pack "$work/own" -o "$work/out.exe" --stub "$work/win32.exe"
check "the tree's own win32 Uninstall.exe, win32: packs" test "$rc" -eq 0 -a -s "$work/out.exe"

# The real programs, when they are built.
real=0
for a in win32 win64; do
  [ -f "$source_dir/build/$a/Setup.exe" ] && [ -f "$source_dir/build/$a/Uninstall.exe" ] && real=$((real + 1))
done
if [ "$real" -eq 2 ]; then
  b=$source_dir/build
  rm -f "$work/out.exe"
  run env VELLMARK_STUB_DIR="$b/win64" "$tool" pack "$hello" -o "$work/out.exe" --arch win32
  check "build/win64 with --arch win32: refused" test "$rc" -eq 2 -a ! -e "$work/out.exe"
  check "build/win64 with --arch win32: names the file and both architectures" grep -qF \
    "$b/win64/Setup.exe: the setup program is win64 (x86-64, PE32+), but --arch asked for win32" "$work/err"
  for a in win32 win64; do
    run env VELLMARK_STUB_DIR="$b/$a" "$tool" pack "$hello" -o "$work/out.exe" --arch $a
    check "build/$a with --arch $a: packs" test "$rc" -eq 0 -a -s "$work/out.exe"
  done
  run "$tool" pack "$hello" -o "$work/out.exe" --stub "$b/win32/Setup.exe"
  check "--stub build/win32/Setup.exe: reported as win32" test "$rc" -eq 0 -a \
    "$(head -n 1 "$work/out")" = "$b/win32/Setup.exe: win32 (x86, PE32) setup program"
  rm -f "$work/out.exe"
  run "$tool" pack "$hello" -o "$work/out.exe" --stub "$b/win64/Setup.exe" --uninstaller "$b/win32/Uninstall.exe"
  check "build/win64's setup with build/win32's uninstaller: refused" test "$rc" -eq 2 -a ! -e "$work/out.exe" -a \
    -n "$(grep -F "$b/win32/Uninstall.exe: the uninstaller is win32 (x86, PE32)" "$work/err")"
else
  echo "install tests: build/win32 and build/win64 are not both built; their cases skipped"
fi

# --- no setup program found: every place looked in -----------------------------------
mkdir -p "$work/lone/bin" "$work/empty"
cp "$tool" "$work/lone/bin/vellmark"
for setting in unset set; do
  env=(env -u VELLMARK_STUB_DIR)
  [ $setting = set ] && env=(env VELLMARK_STUB_DIR="$work/empty")
  rm -f "$work/out.exe"
  run "${env[@]}" "$work/lone/bin/vellmark" pack "$hello" -o "$work/out.exe" --arch win64
  check "nothing found, VELLMARK_STUB_DIR $setting: refused" test "$rc" -eq 2 -a ! -e "$work/out.exe"
  check "nothing found, VELLMARK_STUB_DIR $setting: the first line says what" \
    test "$(head -n 1 "$work/err")" = "vellmark pack: no win64 Setup.exe found; looked for"
  places=("$work/lone/win64/Setup.exe" "$work/lone/bin/win64/Setup.exe" "$work/lone/share/vellmark/win64/Setup.exe")
  [ $setting = set ] && places=("$work/empty/Setup.exe" "${places[@]}")
  expected=$(printf '  %s\n' "${places[@]}")
  check "nothing found, VELLMARK_STUB_DIR $setting: every place, in order" \
    test "$(sed -n "2,$((${#places[@]} + 1))p" "$work/err")" = "$expected"
  if [ $setting = set ]; then
    check "nothing found: names VELLMARK_STUB_DIR's value" grep -qF "(VELLMARK_STUB_DIR is $work/empty;" "$work/err"
  else
    check "nothing found: says VELLMARK_STUB_DIR is not set" grep -qF "(VELLMARK_STUB_DIR is not set;" "$work/err"
  fi
done
run env -u VELLMARK_STUB_DIR "$work/lone/bin/vellmark" --version
check "--version without programs: exit 0" test "$rc" -eq 0
check "--version: the release first" grep -qx "vellmark [0-9]*\.[0-9]*\.[0-9]*" <(head -n 1 "$work/out")
run "$tool" --version extra
check "--version takes no arguments" test "$rc" -eq 2 -a ! -s "$work/out" -a \
  "$(cat "$work/err")" = "vellmark: --version takes no arguments"
run env -u VELLMARK_STUB_DIR "$work/lone/bin/vellmark" --version
check "--version without programs: each one not found" \
  test "$(grep -c '^win[36][24] .* not found  (' "$work/out")" -eq 5

# --- an installed tool ---------------------------------------------------------------
# same_program PROGRAM SETUP: SETUP begins with PROGRAM, but for the four bytes
# of the PE checksum that pack writes anew.
same_program() {
  local differing
  differing=$(cmp -l -n "$(stat -c %s "$1")" "$1" "$2" 2>/dev/null | wc -l)
  [ -s "$2" ] && [ "$differing" -le 4 ]
}

# installed_checks NAME PREFIX: the tool in PREFIX/bin, run from a folder with
# nothing beside it, finds its programs in PREFIX/share/vellmark and packs,
# lists and checks.
installed_checks() {
  local name=$1 prefix=$2 v=$2/bin/vellmark share=$2/share/vellmark
  mkdir -p "$work/elsewhere"
  check "$name: bin/vellmark" test -x "$v"
  for f in win32/Setup.exe win32/Uninstall.exe win64/Setup.exe win64/Uninstall.exe win64/uidriver.exe \
           python/vellmark_try.py cmake/VellmarkConfig.cmake cmake/VellmarkConfigVersion.cmake \
           cmake/VellmarkPackage.cmake; do
    check "$name: share/vellmark/$f" test -s "$share/$f"
  done
  for a in win32 win64; do
    check "$name: share/vellmark/$a/Setup.exe is the $a build" cmp -s "$share/$a/Setup.exe" "$source_dir/build/$a/Setup.exe"
  done
  run_in "$work/elsewhere" "$v" --version
  check "$name: --version exit 0" test "$rc" -eq 0
  check "$name: --version the release" grep -qx "vellmark $release" "$work/out"
  local a n
  for a in win32 win64; do
    for n in Setup.exe Uninstall.exe; do
      check "$name: --version finds $a $n in share" grep -q "^$a $n *$share/$a/$n  (" "$work/out"
    done
  done
  check "$name: --version finds the python programs" grep -q "^share python *$share/python  (try)" "$work/out"
  for a in win32 win64; do
    run_in "$work/elsewhere" "$v" pack "$hello" -o "$work/elsewhere/$a.exe" --arch $a
    check "$name: pack --arch $a" test "$rc" -eq 0 -a -s "$work/elsewhere/$a.exe"
    check "$name: the $a setup starts with share's Setup.exe (its checksum field aside)" \
      same_program "$share/$a/Setup.exe" "$work/elsewhere/$a.exe"
    run_in "$work/elsewhere" "$v" list "$a.exe"
    check "$name: list the $a setup" test "$rc" -eq 0 -a -n "$(grep ' Uninstall.exe$' "$work/out")" -a \
      -n "$(grep ' Install.ini$' "$work/out")"
    run_in "$work/elsewhere" "$v" extract "$a.exe" Uninstall.exe -o "$work/elsewhere/u.exe"
    check "$name: it carries share's $a Uninstall.exe" cmp -s "$work/elsewhere/u.exe" "$share/$a/Uninstall.exe"
  done
  run_in "$work/elsewhere" "$v" check "$hello/Install.ini"
  check "$name: check" test "$rc" -eq 0 -a -n "$(grep -F 'script accepted' "$work/out")"
  run_in "$work/elsewhere" env VELLMARK_STUB_DIR="$work/stubs-win64" "$v" pack "$hello" -o "$work/elsewhere/o.exe" \
    --arch win64
  check "$name: VELLMARK_STUB_DIR still comes first" test "$rc" -eq 0 -a \
    "$(same_program "$work/win64.exe" "$work/elsewhere/o.exe" && echo same)" = same
  rm -rf "$work/elsewhere"
}

release=$(sed -n 's/^project(Vellmark VERSION \([0-9.]*\) .*/\1/p' "$source_dir/CMakeLists.txt")
if [ -n "$build_dir" ] && [ -f "$build_dir/cmake_install.cmake" ]; then
  if [ "$real" -eq 2 ]; then
    cmake --install "$build_dir" --prefix "$work/prefix" >"$work/install.log" 2>&1
    check "cmake --install: exit 0" test $? -eq 0
    # Moved after installing: the tool finds its files from where it is.
    mv "$work/prefix" "$work/moved"
    installed_checks "installed" "$work/moved"
    # find_package(Vellmark) from the prefix.
    mkdir -p "$work/fp"
    cat >"$work/fp/CMakeLists.txt" <<'EOF'
cmake_minimum_required(VERSION 3.25)
project(fp NONE)
find_package(Vellmark 1.0 REQUIRED)
vellmark_cpack()
file(WRITE "${CMAKE_BINARY_DIR}/found.txt" "${VELLMARK_EXECUTABLE}|${VELLMARK_VERSION}|${CPACK_GENERATOR}|${CPACK_EXTERNAL_PACKAGE_SCRIPT}")
EOF
    cmake -S "$work/fp" -B "$work/fp/build" -DCMAKE_PREFIX_PATH="$work/moved" >"$work/err" 2>&1
    check "find_package(Vellmark) from the prefix" test "$(cat "$work/fp/build/found.txt" 2>/dev/null)" = \
      "$work/moved/bin/vellmark|$release|External|$work/moved/share/vellmark/cmake/VellmarkPackage.cmake"
    sed -i 's/find_package(Vellmark 1.0 REQUIRED)/find_package(Vellmark 99 REQUIRED)/' "$work/fp/CMakeLists.txt"
    cmake -S "$work/fp" -B "$work/fp/build3" -DCMAKE_PREFIX_PATH="$work/moved" >"$work/err" 2>&1
    check "find_package(Vellmark 99) refuses release $release" test $? -ne 0
  else
    echo "install tests: the Windows programs are not built; the installation cases skipped"
  fi
fi
if [ -n "$build_dir" ]; then
  # find_package(Vellmark) in a build tree: the package beside its bin folder.
  tree=$(cd "$(dirname "$tool")/.." && pwd)
  mkdir -p "$work/tree"
  cat >"$work/tree/CMakeLists.txt" <<'EOF'
cmake_minimum_required(VERSION 3.25)
project(tree NONE)
find_package(Vellmark REQUIRED)
file(WRITE "${CMAKE_BINARY_DIR}/found.txt" "${VELLMARK_EXECUTABLE}|${VELLMARK_PACKAGE_SCRIPT}")
EOF
  cmake -S "$work/tree" -B "$work/tree/build" -DCMAKE_PREFIX_PATH="$tree" >"$work/err" 2>&1
  check "find_package(Vellmark) in the build tree" test "$(cat "$work/tree/build/found.txt" 2>/dev/null)" = \
    "$tree/bin/vellmark|$tree/share/vellmark/cmake/VellmarkPackage.cmake"
  # Installing without the Windows programs: stopped, naming what is missing.
  mkdir -p "$work/programs64"
  cp "$work/stubs-win64/Setup.exe" "$work/stubs-win64/Uninstall.exe" "$work/programs64/"
  cp "$work/win64.exe" "$work/programs64/uidriver.exe"
  cmake -S "$source_dir" -B "$work/unbuilt" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVM_TESTS=OFF \
    -DVM_INSTALL_WIN32_DIR="$work/nowhere" -DVM_INSTALL_WIN64_DIR="$work/programs64" >"$work/err" 2>&1
  cmake --install "$work/unbuilt" --prefix "$work/unbuilt-prefix" >"$work/out" 2>"$work/err"
  rc=$?
  tr '\n' ' ' <"$work/err" | sed 's/  */ /g' >"$work/err-line"
  check "installing without the win32 programs: refused" test "$rc" -ne 0 -a ! -e "$work/unbuilt-prefix/bin/vellmark"
  check "and the message names the file and the variable" grep -qF \
    "Vellmark: $work/nowhere/Setup.exe is missing: build the win32 programs first (scripts/build win32), or point VM_INSTALL_WIN32_DIR at a folder that holds them" \
    "$work/err-line"
fi
if [ -n "$deb" ]; then
  dpkg-deb -x "$deb" "$work/deb"
  check "the .deb unpacks" test $? -eq 0
  check "the .deb is vellmark $release" test "$(dpkg-deb -f "$deb" Package Version | tr '\n' ' ')" = \
    "Package: vellmark Version: $release "
  installed_checks "the .deb" "$work/deb/usr"
fi

summary "install tests"
