#!/usr/bin/env bash
# signing.sh BUILD_DIR
# Signs BUILD_DIR's programs the way ./dev dist does (cmake/release.sh) with
# throwaway keys from a throwaway CA. A good key gives an archive whose
# programs carry verifying SHA-256 signatures naming the product and are,
# without them, the tested files; each bad key stops the run with its reason,
# a non-zero exit and no archive under the release name; a doctored archive
# fails the check. The password never shows in output or on a command line.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
release=$root/cmake/release.sh
build=$(cd "$1" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/bindora-signing.XXXXXX")
trap 'rm -rf "$work"' EXIT
unset BINDORA_SIGN_PKCS12 BINDORA_SIGN_PASSWORD BINDORA_SIGN_CA BINDORA_SIGN_TIMESTAMP_URL
name=$(sed -n 's/^name=//p' "$build/release.txt")
product=$(sed -n 's/^product=//p' "$build/release.txt")
url=$(sed -n 's/^url=//p' "$build/release.txt")
exes=(setup.exe vantor.exe snappulse.exe rotasync.exe)
out=$work/out
password='pw 7"$Qz!x'
wrong='wrong pw 3$'
failures=0
# The test cannot fetch the revocation list the certificates name.
offline=()
if osslsigncode --help 2>&1 | grep -q -- -ignore-crl; then
  offline=(-ignore-crl)
fi
bad() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# Every openssl and osslsigncode start is recorded with its arguments.
mkdir "$work/shims"
for tool in openssl osslsigncode; do
  real=$(command -v $tool)
  printf '#!/bin/sh\necho "%s $*" >>"%s"\nexec "%s" "$@"\n' "$tool" "$work/argv.log" "$real" \
    >"$work/shims/$tool"
  chmod +x "$work/shims/$tool"
done
export PATH=$work/shims:$PATH

# The throwaway CA and its certificates: LABEL EXTENSIONS START END.
mkdir -p "$work/ca/new"
touch "$work/ca/index.txt"
cat >"$work/ca.cnf" <<EOF
[ca]
default_ca = throwaway
[throwaway]
database = $work/ca/index.txt
new_certs_dir = $work/ca/new
serial = $work/ca/serial
certificate = $work/ca.pem
private_key = $work/ca.key
default_md = sha256
policy = any
unique_subject = no
[any]
commonName = supplied
[code_signing]
extendedKeyUsage = codeSigning
keyUsage = critical, digitalSignature
crlDistributionPoints = URI:http://127.0.0.1:9/throwaway.crl
[server]
extendedKeyUsage = serverAuth
keyUsage = critical, digitalSignature, keyEncipherment
EOF
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/ca.key" -out "$work/ca.pem" -days 2 \
  -subj "/CN=Throwaway CA" -addext "basicConstraints=critical,CA:true" \
  -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
openssl rand -hex 8 >"$work/ca/serial"
certificate() {
  openssl req -newkey rsa:2048 -nodes -keyout "$work/$1.key" -out "$work/$1.csr" \
    -subj "/CN=Bindora test $1" 2>/dev/null
  openssl ca -batch -config "$work/ca.cnf" -extensions "$2" -startdate "$3" -enddate "$4" \
    -in "$work/$1.csr" -out "$work/$1.pem" -notext 2>/dev/null
}
# key LABEL P12 [openssl pkcs12 options]: the label's key and certificate.
key() {
  local label=$1 p12=$2
  shift 2
  BINDORA_SIGN_PASSWORD=$password openssl pkcs12 -export -inkey "$work/$label.key" \
    -in "$work/$label.pem" -out "$work/$p12" -passout env:BINDORA_SIGN_PASSWORD "$@"
}
now=$(date -u +%Y%m%d%H%M%SZ)
in_two_days=$(date -u -d '+2 days' +%Y%m%d%H%M%SZ)
certificate good code_signing "$now" "$in_two_days"
certificate server server "$now" "$in_two_days"
certificate expired code_signing 20200101000000Z 20210101000000Z
certificate early code_signing 20990101000000Z 21000101000000Z
key good good.p12 -certfile "$work/ca.pem"
key good legacy.p12 -certfile "$work/ca.pem" -legacy
key good alone.p12
BINDORA_SIGN_PASSWORD='' openssl pkcs12 -export -inkey "$work/good.key" -in "$work/good.pem" \
  -certfile "$work/ca.pem" -out "$work/open.p12" -passout env:BINDORA_SIGN_PASSWORD
key server server.p12 -certfile "$work/ca.pem"
key expired expired.p12 -certfile "$work/ca.pem"
key early early.p12 -certfile "$work/ca.pem"

leaked() {
  grep -qF -e "$password" -e "$wrong" "$@"
}

pack() {
  rm -rf "$out"
  mkdir -p "$out"
  echo stale >"$out/$name.zip"
  env "$@" bash "$release" pack "$build" "$out" >"$work/run.log" 2>&1
}

# Good keys: LABEL ENV...
expect_signed() {
  local label=$1 dir=$work/unpacked exe
  shift
  if ! pack "$@"; then
    bad "$label: $(cat "$work/run.log")"
    return
  fi
  rm -rf "$dir"
  mkdir "$dir"
  (cd "$dir" && cmake -E tar xf "$out/$name.zip")
  for exe in "${exes[@]}"; do
    osslsigncode verify "${offline[@]}" -in "$dir/$name/$exe" -CAfile "$work/ca.pem" \
      >"$work/verify.log" 2>&1 || bad "$label: $exe does not verify: $(grep -i -m2 error "$work/verify.log")"
    grep -q "SHA256" "$work/verify.log" || bad "$label: $exe: no SHA-256 digest"
    grep -qF "Text description: $product" "$work/verify.log" || bad "$label: $exe: product name missing"
    grep -qF "URL description: $url" "$work/verify.log" || bad "$label: $exe: product URL missing"
    osslsigncode remove-signature -in "$dir/$name/$exe" -out "$work/unsigned.exe" >/dev/null 2>&1
    cmp -s "$work/unsigned.exe" "$build/bin/$exe" || bad "$label: $exe without its signature is not the tested file"
    cmp -s "$dir/$name/$exe" "$build/bin/$exe" && bad "$label: $exe is unsigned"
    rm -f "$work/unsigned.exe"
  done
  (cd "$dir/$name" && sha256sum --check --strict --quiet SHA256SUMS) || bad "$label: SHA256SUMS does not list the signed files"
  cmp -s "$dir/$name/SHA256SUMS" "$out/SHA256SUMS" || bad "$label: the SHA256SUMS beside the archive differs"
  ! leaked "$work/run.log" || bad "$label: the password is in the output"
  cp "$out/$name.zip" "$work/signed.zip"
  echo "ok: $label: ${#exes[@]} programs signed, verified, without signatures the tested files"
}

# Other good keys: LABEL ENV... The archive check of release.sh (itself
# tested below) covers what expect_signed looks at.
expect_packed() {
  local label=$1
  shift
  if ! pack "$@"; then
    bad "$label: $(cat "$work/run.log")"
  elif ! grep -q "the programs are signed;" "$work/run.log" || [ ! -f "$out/$name.zip" ]; then
    bad "$label: no signed archive: $(cat "$work/run.log")"
  elif leaked "$work/run.log"; then
    bad "$label: the password is in the output"
  else
    echo "ok: $label: $(grep -m1 'signed and verified' "$work/run.log")"
  fi
}

# Bad keys: LABEL MESSAGE ENV...
expect_refused() {
  local label=$1 message=$2
  shift 2
  if pack "$@"; then
    bad "$label: packed"
    return
  fi
  grep -qF "$message" "$work/run.log" || bad "$label: expected '$message', got: $(cat "$work/run.log")"
  [ ! -e "$out/$name.zip" ] || bad "$label: an archive is left under the release name"
  ! leaked "$work/run.log" || bad "$label: the password is in the output"
  echo "ok: $label: $(grep '^dist:' "$work/run.log" | tail -1)"
}

key_env=("BINDORA_SIGN_PASSWORD=$password")
expect_signed "good key" "${key_env[@]}" BINDORA_SIGN_PKCS12="$work/good.p12"
expect_packed "key file with legacy encryption" "${key_env[@]}" BINDORA_SIGN_PKCS12="$work/legacy.p12"
expect_packed "key without a password" BINDORA_SIGN_PASSWORD= BINDORA_SIGN_PKCS12="$work/open.p12"
expect_packed "root given apart" "${key_env[@]}" BINDORA_SIGN_PKCS12="$work/alone.p12" \
  BINDORA_SIGN_CA="$work/ca.pem"
expect_refused "root unknown" "does not verify" "${key_env[@]}" BINDORA_SIGN_PKCS12="$work/alone.p12"
expect_refused "wrong password" "wrong password" BINDORA_SIGN_PASSWORD="$wrong" \
  BINDORA_SIGN_PKCS12="$work/good.p12"
expect_refused "no password" "BINDORA_SIGN_PASSWORD is not set" -u BINDORA_SIGN_PASSWORD \
  BINDORA_SIGN_PKCS12="$work/good.p12"
expect_refused "missing key file" "no such file" "${key_env[@]}" BINDORA_SIGN_PKCS12="$work/absent.p12"
expect_refused "not a key file" "not a PKCS#12 file" "${key_env[@]}" BINDORA_SIGN_PKCS12="$work/ca.pem"
expect_refused "server certificate" "is not for code signing" "${key_env[@]}" \
  BINDORA_SIGN_PKCS12="$work/server.p12"
expect_refused "expired certificate" "expired on" "${key_env[@]}" BINDORA_SIGN_PKCS12="$work/expired.p12"
expect_refused "certificate not yet valid" "not valid before" "${key_env[@]}" \
  BINDORA_SIGN_PKCS12="$work/early.p12"

grep -q "^osslsigncode sign " "$work/argv.log" || bad "osslsigncode never signed through the recorded path"
! leaked "$work/argv.log" || bad "the password was on a command line: $(grep -F -e "$password" -e "$wrong" "$work/argv.log")"

# A signed archive, doctored, fails the check: LABEL MESSAGE, the archive's
# folder changed by the commands on stdin.
doctored() {
  local label=$1 message=$2 dir=$work/doctored
  rm -rf "$dir"
  mkdir "$dir"
  (cd "$dir" && cmake -E tar xf "$work/signed.zip" && cd "$name" && bash -e && sha256sum "${exes[@]}" >SHA256SUMS)
  rm -f "$work/doctored.zip"
  (cd "$dir" && zip -X -D -q -r "$work/doctored.zip" "$name")
  if bash "$release" check "$build" "$work/doctored.zip" >"$work/run.log" 2>&1; then
    bad "$label: the check passed"
  elif grep -qF "$message" "$work/run.log"; then
    echo "ok: $label: $(tail -1 "$work/run.log")"
  else
    bad "$label: expected '$message', got: $(cat "$work/run.log")"
  fi
}
doctored "half-signed" "is half-signed" <<EOF
cp "$build/bin/setup.exe" setup.exe
EOF
doctored "another signed program" "snappulse.exe without its signature is not" <<EOF
cp vantor.exe snappulse.exe
EOF
doctored "an extra file" "expected:" <<EOF
echo x >version.dll
EOF

[ "$failures" -eq 0 ] || exit 1
