#!/usr/bin/env bash
# vellmark pack --sign / --sign-command and vellmark verify, as a publisher
# runs them, with a self-signed certificate made here: what is signed,
# that osslsigncode verifies it, that a changed byte breaks both the
# signature and the package, that a signed stub leaves no dangling entry,
# and that a signed setup is reproducible.
set -u
tool=$(readlink -f "$1")
make_stub=$(readlink -f "$2")
source_dir=$(readlink -f "$3")
if [ ! -x "$tool" ]; then
  echo "signing tests: $tool is not built (scripts/build release); skipped"
  exit 77
fi
for needed in osslsigncode openssl; do
  command -v "$needed" >/dev/null || { echo "signing tests: $needed is missing (scripts/bootstrap installs it)"; exit 1; }
done
source "$(dirname "$0")/checks.sh"

# osslsigncode's verdict on a file, trusting the test certificate.
verifies() { osslsigncode verify -in "$1" -CAfile "$work/cert.pem" >"$work/ossl" 2>&1; }
# The 32-bit little-endian value at an offset of a file.
u32_at() { od -An -tu4 -j "$2" -N4 "$1" | tr -d ' '; }
# No file is left in a folder but the ones named.
only_files() {   # only_files DIR NAME...
  local dir=$1 want=""
  shift
  [ $# -gt 0 ] && want=$(printf '%s\n' "$@" | sort | tr '\n' ' ')
  test "$(ls -A "$dir" | sort | tr '\n' ' ')" = "$want"
}
# Flips every bit of the byte at an offset of a file.
flip_byte() {   # flip_byte FILE OFFSET
  python3 -c 'import sys
with open(sys.argv[1], "r+b") as f:
    f.seek(int(sys.argv[2])); b = f.read(1); f.seek(int(sys.argv[2])); f.write(bytes([b[0] ^ 0xFF]))' "$1" "$2"
}

# The certificate: RSA (whose signatures are the same bytes for the same
# input), marked for code signing, in a PKCS#12 file with a password.
cd "$work" || exit 1
printf 'test password' >pass.txt
openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -quiet -out key.pem &&
  openssl req -new -x509 -key key.pem -out cert.pem -days 3650 -subj "/CN=Vellmark Test Signing" \
    -addext "extendedKeyUsage=codeSigning" -addext "keyUsage=digitalSignature" &&
  openssl pkcs12 -export -inkey key.pem -in cert.pem -out test.pfx -passout file:pass.txt ||
  { echo "cannot make the test certificate"; exit 1; }

"$make_stub" "$work/stub.exe" && "$make_stub" uninstaller "$work/Uninstall.exe" ||
  { echo "cannot make the test images"; exit 1; }
hello="$source_dir/examples/hello"
unset VELLMARK_SIGN_PASSWORD SOURCE_DATE_EPOCH
mkdir -p "$work/tmp"
export TMPDIR="$work/tmp"     # the signing work folder must not outlive a run
sign=(--sign "$work/test.pfx" --sign-password-file "$work/pass.txt")

# --- a signed setup: the setup and the uninstaller it carries ------------------------
run "$tool" pack "$hello" -o "$work/signed.exe" --stub "$work/stub.exe" "${sign[@]}" \
  --sign-description "Hello Setup" --sign-url "https://example.com/hello"
check "pack --sign succeeds" test "$rc" -eq 0
check "the summary says what was signed" grep -q ", signed (the setup and its Uninstall.exe)\$" "$work/out"
check "osslsigncode verifies the setup" verifies "$work/signed.exe"
check "with the description and the address" grep -q "Text description: Hello Setup" "$work/ossl"
check "with the address" grep -q "URL description: https://example.com/hello" "$work/ossl"
check "signed with SHA-256" grep -q "Message digest algorithm *: SHA256" "$work/ossl"
"$tool" extract "$work/signed.exe" Uninstall.exe -o "$work/embedded.exe"
check "its embedded Uninstall.exe verifies too" verifies "$work/embedded.exe"
check "and is ours, signed" test "$(stat -c %s "$work/embedded.exe")" -gt "$(stat -c %s "$work/Uninstall.exe")"
check "and our Uninstall.exe stays unsigned" test "$(u32_at "$work/Uninstall.exe" $((0x118)))" = 0
check "no signing folder is left" only_files "$work/tmp"

run "$tool" verify "$work/signed.exe" --ca-file "$work/cert.pem" --require-signature
check "verify --require-signature: exit 0" test "$rc" -eq 0
check "verify: the package is sound" grep -qx "package: sound, 5 files and 2 folders ([0-9]* bytes), every checksum matches" "$work/out"
check "verify: the checksum is correct" grep -qE "^PE checksum: [0-9A-F]{8}, correct\$" "$work/out"
check "verify: by whom, valid" grep -qx "signature: signed by /CN=Vellmark Test Signing, valid" "$work/out"
check "verify: not timestamped" grep -qx "  timestamp: none" "$work/out"
run "$tool" verify "$work/signed.exe"
check "verify without the test CA: whole but not trusted, exit 0" test "$rc" -eq 0
check "verify without the test CA: says why" grep -q "^signature: signed by /CN=Vellmark Test Signing, not valid: self-signed certificate" "$work/out"
run "$tool" verify "$work/signed.exe" --require-signature
check "... and --require-signature fails on it" test "$rc" -eq 1 -a "$(cat "$work/err")" = \
  "vellmark verify: $work/signed.exe: the signature is not valid (--require-signature)"

# list and extract read a signed setup as any other.
run "$tool" pack "$hello" -o "$work/unsigned.exe" --stub "$work/stub.exe" --uninstaller "$work/embedded.exe"
"$tool" list "$work/unsigned.exe" >"$work/unsigned.list"
run "$tool" list "$work/signed.exe"
check "list: a signed setup lists as the unsigned one" cmp -s "$work/out" "$work/unsigned.list"
run "$tool" extract "$work/signed.exe" -d "$work/x"
check "extract -d: a signed setup extracts" test "$rc" -eq 0
rm -f "$work/x/Uninstall.exe"
check "extract -d: the product comes back" diff -r "$hello" "$work/x"

# --- the package lies inside the signed range -------------------------------------------
# One byte of the first file's data (just past the 28-byte header at 0x600).
cp "$work/signed.exe" "$work/changed.exe"
flip_byte "$work/changed.exe" $((0x600 + 28 + 3))
run "$tool" verify "$work/changed.exe" --ca-file "$work/cert.pem"
check "a changed byte: verify exits 1" test "$rc" -eq 1
check "a changed byte: the package is damaged" grep -qx "package: damaged: File corrupted, possible download error. (code 7)" "$work/out"
check "a changed byte: and so is the signature" grep -qx "signature: not valid: the file was changed after it was signed (its digest differs from the signed one)" "$work/out"
check "a changed byte: the error line" test "$(cat "$work/err")" = "vellmark verify: $work/changed.exe: the package is damaged"
check "a changed byte: osslsigncode fails too" not verifies "$work/changed.exe"
run "$tool" list "$work/changed.exe"
check "a changed byte: list refuses it as the setup would" grep -q "File corrupted, possible download error. (code 7)" "$work/err"
# Bytes appended after the signature.
cp "$work/signed.exe" "$work/appended.exe"
printf 'appended' >>"$work/appended.exe"
run "$tool" verify "$work/appended.exe" --ca-file "$work/cert.pem"
check "appended bytes: exit 1" test "$rc" -eq 1
check "appended bytes: the signature is broken" grep -qx "signature: broken: bytes were appended after the certificate table (the file was changed after signing)" "$work/out"

# --- a signed stub: packed again, the output claims no signature ---------------------------
osslsigncode sign -pkcs12 "$work/test.pfx" -readpass "$work/pass.txt" -h sha256 \
  -in "$work/stub.exe" -out "$work/signed-stub.exe" >/dev/null
check "the signed stub verifies" verifies "$work/signed-stub.exe"
run "$tool" pack "$hello" -o "$work/restub.exe" --stub "$work/signed-stub.exe" --uninstaller "$work/Uninstall.exe"
check "packing with a signed stub succeeds" test "$rc" -eq 0
check "its security directory entry is cleared" test "$(u32_at "$work/restub.exe" $((0x118)))/$(u32_at "$work/restub.exe" $((0x11C)))" = 0/0
run "$tool" verify "$work/restub.exe"
check "verify: no signature, nothing broken" test "$rc" -eq 0 -a "$(grep '^signature:' "$work/out")" = "signature: none"
check "verify: its checksum is correct" grep -qE "^PE checksum: [0-9A-F]{8}, correct\$" "$work/out"
osslsigncode sign -pkcs12 "$work/test.pfx" -readpass "$work/pass.txt" -h sha256 \
  -in "$work/restub.exe" -out "$work/restub-signed.exe" >/dev/null
check "signed afterwards, it verifies" verifies "$work/restub-signed.exe"
run "$tool" verify "$work/restub-signed.exe" --ca-file "$work/cert.pem" --require-signature
check "and vellmark verify agrees" test "$rc" -eq 0
run "$tool" pack "$hello" -o "$work/resigned.exe" --stub "$work/signed-stub.exe" --uninstaller "$work/Uninstall.exe" "${sign[@]}"
check "a signed stub packed with --sign verifies" verifies "$work/resigned.exe"
# What packing the stub as it was left: its entry naming bytes of the package.
cp "$work/restub.exe" "$work/dangling.exe"
dd if="$work/signed-stub.exe" of="$work/dangling.exe" bs=1 skip=$((0x118)) seek=$((0x118)) count=8 conv=notrunc status=none
run "$tool" verify "$work/dangling.exe"
check "a dangling entry: verify exits 1" test "$rc" -eq 1
check "a dangling entry: named as such" grep -q "^signature: broken: its security directory names bytes of the setup itself" "$work/out"

# --- the PE checksum pack writes is the one osslsigncode computes --------------------------
for setup in unsigned restub; do
  ours=$("$tool" verify "$work/$setup.exe" | sed -n 's/^PE checksum: \([0-9A-F]*\), correct$/\1/p')
  osslsigncode verify -in "$work/$setup.exe" >"$work/ossl" 2>&1
  theirs=$(sed -n 's/^\(Calculated \)\{0,1\}PE checksum *: *\([0-9A-F]*\).*/\2/p' "$work/ossl" | tail -n 1)
  check "$setup: our checksum is osslsigncode's" test -n "$ours" -a "$ours" = "$theirs"
  check "$setup: and is stored" test "$(printf '%08X' "$(u32_at "$work/$setup.exe" $((0x80 + 24 + 64)))")" = "$ours"
done

# --- reproducible: the same time, the same bytes -------------------------------------------------
SOURCE_DATE_EPOCH=1700000000 "$tool" pack "$hello" -o "$work/r1.exe" --stub "$work/stub.exe" "${sign[@]}" >/dev/null
SOURCE_DATE_EPOCH=1700000000 "$tool" pack "$hello" -o "$work/r2.exe" --stub "$work/stub.exe" "${sign[@]}" >/dev/null
check "SOURCE_DATE_EPOCH: two signed packs are byte-identical" cmp -s "$work/r1.exe" "$work/r2.exe"
check "SOURCE_DATE_EPOCH: they verify" verifies "$work/r1.exe"
check "SOURCE_DATE_EPOCH: it is the signing time" grep -q "Signing time: Nov 14 22:13:20 2023 GMT" "$work/ossl"
"$tool" extract "$work/r1.exe" Uninstall.exe -o "$work/r1-uninst.exe"
osslsigncode verify -in "$work/r1-uninst.exe" -CAfile "$work/cert.pem" >"$work/ossl" 2>&1
check "SOURCE_DATE_EPOCH: the uninstaller's signing time too" grep -q "Signing time: Nov 14 22:13:20 2023 GMT" "$work/ossl"
run env SOURCE_DATE_EPOCH=yesterday "$tool" pack "$hello" -o "$work/r3.exe" --stub "$work/stub.exe" "${sign[@]}"
check "SOURCE_DATE_EPOCH that is no number: refused" test "$rc" -eq 2 -a ! -e "$work/r3.exe"
check "SOURCE_DATE_EPOCH that is no number: says so" grep -q "SOURCE_DATE_EPOCH is not a count of seconds since 1970: 'yesterday'" "$work/err"

# --- the password: from a file or the environment, never on a command line -----------------------
# A signing tool that writes down its arguments and its standard input, then
# signs as osslsigncode (without the timestamp server, which needs the network).
cat >"$work/recording-tool" <<EOF
#!/usr/bin/env bash
printf '%s\n' "\$@" >>"$work/tool-arguments"
cat >>"$work/tool-input"
args=()
while [ \$# -gt 0 ]; do
  if [ "\$1" = -ts ]; then shift 2; continue; fi
  args+=("\$1"); shift
done
for ((i = 0; i < \${#args[@]}; i++)); do
  [ "\${args[i]}" = -readpass ] && args[i+1]="$work/pass.txt"
done
exec osslsigncode "\${args[@]}" </dev/null
EOF
chmod +x "$work/recording-tool"
rm -f "$work/tool-arguments" "$work/tool-input"
run env VELLMARK_SIGN_PASSWORD='test password' SOURCE_DATE_EPOCH=1700000000 "$tool" pack "$hello" -o "$work/env.exe" \
  --stub "$work/stub.exe" --sign "$work/test.pfx" --sign-tool "$work/recording-tool" --sign-timestamp http://tsa.example/
check "password from the environment: packs" test "$rc" -eq 0
check "password from the environment: it verifies" verifies "$work/env.exe"
check "the tool ran twice" test "$(grep -c '^sign$' "$work/tool-arguments")" -eq 2
check "the password is on no command line" not grep -q "test password" "$work/tool-arguments"
check "it reaches the tool on its standard input" test "$(cat "$work/tool-input")" = "test passwordtest password"
check "the tool reads it from there" test "$(grep -c -x /dev/stdin "$work/tool-arguments")" -eq 2
check "SHA-256, the timestamp server and the fixed time are passed" test \
  "$(grep -c -x -e sha256 -e http://tsa.example/ -e 1700000000 "$work/tool-arguments")" -eq 6
check "never -pass" not grep -q -x -e -pass -e -askpass "$work/tool-arguments"
rm -f "$work/tool-arguments" "$work/tool-input"
run "$tool" pack "$hello" -o "$work/file.exe" --stub "$work/stub.exe" "${sign[@]}" --sign-tool "$work/recording-tool"
check "password from a file: the tool reads that file" test "$(grep -A1 -x -- -readpass "$work/tool-arguments" | grep -c -x "$work/pass.txt")" -eq 2
check "password from a file: nothing on its standard input" test ! -s "$work/tool-input"

# --- signing with the publisher's own command -----------------------------------------------------
# It writes down each file it is given and signs it in place.
cat >"$work/record-sign" <<EOF
#!/usr/bin/env bash
printf '%s\n' "\$1" >>"$work/sign-calls"
osslsigncode sign -pkcs12 "$work/test.pfx" -readpass "$work/pass.txt" -h sha256 -in "\$1" -out "\$1.new" >/dev/null &&
  mv "\$1.new" "\$1"
EOF
chmod +x "$work/record-sign"
mkdir -p "$work/out dir's"
rm -f "$work/sign-calls"
run "$tool" pack "$hello" -o "$work/out dir's/cmd.exe" --stub "$work/stub.exe" --sign-command "$work/record-sign {}"
check "--sign-command: packs" test "$rc" -eq 0
check "--sign-command: called twice" test "$(wc -l <"$work/sign-calls")" -eq 2
check "--sign-command: first the uninstaller" grep -qx "$work/tmp/vellmark-sign-[0-9-]*/Uninstall.exe" <(head -n 1 "$work/sign-calls")
check "--sign-command: then the setup, beside the output, named .exe" \
  grep -qx "$work/out dir's/cmd.exe.tmp-[0-9-]*\.exe" <(tail -n 1 "$work/sign-calls")
check "--sign-command: the setup verifies" verifies "$work/out dir's/cmd.exe"
"$tool" extract "$work/out dir's/cmd.exe" Uninstall.exe -o "$work/cmd-uninst.exe"
check "--sign-command: its uninstaller verifies" verifies "$work/cmd-uninst.exe"
check "--sign-command: nothing left beside the output" only_files "$work/out dir's" cmd.exe
check "--sign-command: no signing folder left" only_files "$work/tmp"

# --- a signing failure fails the pack and writes nothing ------------------------------------------
fails_to_sign() {   # fails_to_sign NAME EXPECTED-TEXT ARGS...   (with $search as PATH)
  local name=$1 text=$2
  shift 2
  rm -rf "$work/fail"
  mkdir -p "$work/fail"
  run env PATH="$search" "$tool" pack "$hello" -o "$work/fail/out.exe" --stub "$work/stub.exe" "$@"
  check "$name: exit 2" test "$rc" -eq 2
  check "$name: one line that says why" test "$(wc -l <"$work/err")" -eq 1 -a "$(grep -c -- "$text" "$work/err")" -eq 1
  check "$name: nothing written" only_files "$work/fail"
  check "$name: no signing folder left" only_files "$work/tmp"
}
printf 'wrong' >"$work/wrong.txt"
search=$PATH
fails_to_sign "a wrong password" "signing Uninstall.exe failed: osslsigncode: .*Wrong password" \
  --sign "$work/test.pfx" --sign-password-file "$work/wrong.txt"
fails_to_sign "no password" "signing Uninstall.exe failed: osslsigncode: " --sign "$work/test.pfx"
fails_to_sign "a missing PFX" "$work/none.pfx: cannot be read (No such file or directory)" --sign "$work/none.pfx"
fails_to_sign "a missing password file" "$work/none.txt: cannot be read" --sign "$work/test.pfx" --sign-password-file "$work/none.txt"
fails_to_sign "a missing --sign-tool" "$work/nothing: no such program" --sign "$work/test.pfx" --sign-tool "$work/nothing"
search=/nonexistent
fails_to_sign "no osslsigncode on PATH" "osslsigncode not found on PATH (install it, or name the signing tool with --sign-tool)" \
  --sign "$work/test.pfx"
search=$PATH
fails_to_sign "an uninstaller that cannot be signed" "signing Uninstall.exe failed: osslsigncode: " \
  "${sign[@]}" --uninstaller "$hello/License.txt"
# A timestamp server that cannot be reached (nothing listens on this port
# of the machine itself).
fails_to_sign "an unreachable timestamp server" "signing Uninstall.exe failed: osslsigncode: .*http://127.0.0.1:9/" \
  "${sign[@]}" --sign-timestamp http://127.0.0.1:9/
printf '#!/bin/sh\nexit 3\n' >"$work/failing-sign"
chmod +x "$work/failing-sign"
fails_to_sign "a failing command" "the signing command failed on Uninstall.exe (exit code 3)" --sign-command "$work/failing-sign"
fails_to_sign "a command that signs nothing" "Uninstall.exe: carries no signature after signing" --sign-command "true"
# The setup's own signing failing, after the uninstaller's succeeded.
cat >"$work/second-fails" <<EOF
#!/usr/bin/env bash
case "\$1" in */Uninstall.exe) exec "$work/record-sign" "\$1" ;; *) exit 4 ;; esac
EOF
chmod +x "$work/second-fails"
echo "previous" >"$work/fail-kept.exe"
run "$tool" pack "$hello" -o "$work/fail-kept.exe" --stub "$work/stub.exe" --sign-command "$work/second-fails {}"
check "the setup's signing fails: exit 2" test "$rc" -eq 2
check "the setup's signing fails: says so" grep -q "the signing command failed on the setup (exit code 4)" "$work/err"
check "the setup's signing fails: the old output stays" test "$(cat "$work/fail-kept.exe")" = previous
check "the setup's signing fails: no temporary left" test -z "$(ls "$work" | grep 'fail-kept.exe.tmp')"

# --- what the command line refuses ------------------------------------------------------------------
refused() {   # refused EXPECTED-LINE ARGS...
  local line=$1
  shift
  run "$tool" pack "$hello" -o "$work/refused.exe" --stub "$work/stub.exe" "$@"
  check "refused: $*" test "$rc" -eq 2 -a "$(cat "$work/err")" = "$line" -a ! -e "$work/refused.exe"
}
refused "vellmark pack: --sign and --sign-command exclude each other" --sign "$work/test.pfx" --sign-command true
refused "vellmark pack: --sign-timestamp goes with --sign PFX (see 'vellmark pack --help')" --sign-timestamp http://tsa.example/
refused "vellmark pack: --sign-password-file goes with --sign PFX (see 'vellmark pack --help')" \
  --sign-command true --sign-password-file "$work/pass.txt"
refused "vellmark pack: --sign-command takes a command, not an empty one (see 'vellmark pack --help')" --sign-command " "

# --- the uninstallers signed, and what is not -----------------------------------------------------------
run "$tool" pack "$hello" -o "$work/none.exe" --stub "$work/stub.exe" --no-uninstaller "${sign[@]}"
check "--no-uninstaller --sign: only the setup" test "$rc" -eq 0 -a -n "$(grep ', signed$' "$work/out")"
check "--no-uninstaller --sign: it verifies" verifies "$work/none.exe"
rm -rf "$work/tree"
cp -r "$hello" "$work/tree"
cp "$work/Uninstall.exe" "$work/tree/Uninstall.exe"
run "$tool" pack "$work/tree" -o "$work/own.exe" --stub "$work/stub.exe" "${sign[@]}"
"$tool" extract "$work/own.exe" Uninstall.exe -o "$work/own-uninst.exe"
check "a tree's own Uninstall.exe is signed in the package" verifies "$work/own-uninst.exe"
check "and left as it was in the tree" cmp -s "$work/tree/Uninstall.exe" "$work/Uninstall.exe"

# --- verify on what it cannot check, and its command line ------------------------------------------------
run "$tool" verify "$work/signed.exe" --sign-tool "$work/no-such-tool"
check "no osslsigncode: the signature is not checked, exit 0" test "$rc" -eq 0 -a \
  "$(grep '^signature:' "$work/out")" = "signature: present, not checked: $work/no-such-tool not found"
run "$tool" verify "$work/signed.exe" --sign-tool "$work/no-such-tool" --require-signature
check "no osslsigncode, --require-signature: exit 2" test "$rc" -eq 2
run "$tool" verify "$work/missing.exe"
check "a missing file: exit 2, one line" test "$rc" -eq 2 -a ! -s "$work/out" -a \
  "$(cat "$work/err")" = "vellmark verify: $work/missing.exe: No such file or directory"
run "$tool" verify "$work/stub.exe"
check "a program without a package: exit 1" test "$rc" -eq 1 -a "$(head -n 1 "$work/out")" = "package: none: the file holds no Vellmark package (the setup program would stop with \"Internal Error 1\", code 5)"
run "$tool" verify
check "verify without a file: a usage error" test "$rc" -eq 2 -a "$(cat "$work/err")" = \
  "vellmark verify: no SETUP.exe given (see 'vellmark verify --help')"

summary "signing tests"
