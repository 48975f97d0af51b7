#!/usr/bin/env bash
# release.sh pack BUILD_DIR OUT_DIR
#   The release archive of a Windows build in OUT_DIR, and SHA256SUMS beside
#   it. The same bytes come from every clean build of a commit: a fixed entry
#   order, entry times from SOURCE_DATE_EPOCH (default: the last commit's
#   time), fixed modes, nothing of the builder's environment. Given
#   BINDORA_SIGN_PKCS12 and BINDORA_SIGN_PASSWORD it signs the programs and
#   verifies each signature first (BINDORA_SIGN_CA: a root to verify against,
#   BINDORA_SIGN_TIMESTAMP_URL: an RFC 3161 time-stamp server). The archive is
#   checked as `check` does before it gets its name.
# release.sh check BUILD_DIR ARCHIVE
#   Checks that ARCHIVE holds exactly BUILD_DIR's programs (signed ones with
#   their signatures removed), this source's README.md and docs/ pages, and
#   right SHA256SUMS.
set -euo pipefail

fail() {
  echo "dist: $*" >&2
  exit 1
}

scratch=$(mktemp -d "${TMPDIR:-/tmp}/bindora-dist.XXXXXX")
stage=
trap 'rm -rf "$scratch" ${stage:+"$stage"}' EXIT

read_build() {
  build=$(cd "$1" && pwd)
  [ -f "$build/release.txt" ] || fail "$1 is not a configured Windows build (no release.txt)"
  local key value
  while IFS='=' read -r key value; do
    case $key in
      name) name=$value ;;
      programs) read -ra programs <<<"$value" ;;
      product) product=$value ;;
      url) url=$value ;;
      source) source_dir=$value ;;
    esac
  done <"$build/release.txt"
  exes=("${programs[@]/%/.exe}")
  # The README's pages and pictures go along, so its links hold in the
  # archive; byte order, whatever the locale.
  mapfile -t docs < <(cd "$source_dir" &&
    find docs -maxdepth 1 -type f \( -name '*.md' -o -name '*.png' \) 2>/dev/null | LC_ALL=C sort)
  entries=()
  local file
  for file in "${exes[@]}" README.md "${docs[@]}" SHA256SUMS; do
    entries+=("$name/$file")
  done
}

# Size of a PE file's certificate table (data directory 4), where its
# Authenticode signatures are; 0 when it is unsigned.
cert_table_size() {
  local f=$1 pe magic dirs
  [ "$(od -An -c -N2 "$f" | tr -d ' ')" = MZ ] || return 1
  pe=$(od -An -tu4 -j60 -N4 "$f" | tr -d ' ')
  [ "$(od -An -tx1 -j"$pe" -N4 "$f" | tr -d ' ')" = 50450000 ] || return 1
  magic=$(od -An -tu2 -j$((pe + 24)) -N2 "$f" | tr -d ' ')
  case $magic in
    267) dirs=$((pe + 24 + 96)) ;;  # PE32
    523) dirs=$((pe + 24 + 112)) ;; # PE32+
    *) return 1 ;;
  esac
  od -An -tu4 -j$((dirs + 4 * 8 + 4)) -N4 "$f" | tr -d ' '
}

# Sets `signed` to the number of signed programs in the archive.
check_archive() {
  local archive=$1 dir=$scratch/check expected listed program f size
  local signed_names=() unsigned_names=()
  expected=$(printf '%s\n' "${entries[@]}" | sort)
  # Names first: an archive from elsewhere is unpacked only when it holds
  # nothing but the expected files.
  listed=$(cmake -E tar tf "$archive" 2>/dev/null | sort) || fail "$archive: not an archive"
  [ "$listed" = "$expected" ] ||
    fail "$archive holds: $(tr '\n' ' ' <<<"$listed"); expected: $(tr '\n' ' ' <<<"$expected")"
  rm -rf "$dir"
  mkdir -p "$dir"
  (cd "$dir" && cmake -E tar xf "$archive") || fail "$archive: cannot unpack"
  [ "$(cd "$dir" && find . -type f | sed 's|^\./||' | sort)" = "$expected" ] ||
    fail "$archive: entries that are not plain files"
  for f in README.md "${docs[@]}"; do
    cmp -s "$dir/$name/$f" "$source_dir/$f" || fail "$archive: $f is not the one of $source_dir"
  done
  [ "$(awk '{print $2}' "$dir/$name/SHA256SUMS")" = "$(printf '%s\n' "${exes[@]}")" ] ||
    fail "$archive: SHA256SUMS does not list exactly ${exes[*]}"
  (cd "$dir/$name" && sha256sum --check --strict --quiet SHA256SUMS) >&2 ||
    fail "$archive: SHA256SUMS does not match the programs"
  for program in "${programs[@]}"; do
    f=$dir/$name/$program.exe
    size=$(cert_table_size "$f") || fail "$archive: $program.exe is not a PE file"
    if [ "$size" -gt 0 ]; then
      osslsigncode remove-signature -in "$f" -out "$scratch/unsigned.exe" >"$scratch/log" 2>&1 ||
        fail "$archive: cannot remove the signature of $program.exe: $(tail -2 "$scratch/log" | tr '\n' ' ')"
      cmp -s "$scratch/unsigned.exe" "$build/bin/$program.exe" ||
        fail "$archive: $program.exe without its signature is not $build/bin/$program.exe"
      rm -f "$scratch/unsigned.exe"
      signed_names+=("$program.exe")
    else
      cmp -s "$f" "$build/bin/$program.exe" || fail "$archive: $program.exe is not $build/bin/$program.exe"
      unsigned_names+=("$program.exe")
    fi
  done
  [ ${#signed_names[@]} -eq 0 ] || [ ${#unsigned_names[@]} -eq 0 ] ||
    fail "$archive is half-signed: ${signed_names[*]} signed, ${unsigned_names[*]} not"
  signed=${#signed_names[@]}
  if [ "$signed" -gt 0 ]; then
    echo "dist: the programs are signed; without their signatures they are those of $build/bin, byte for byte"
  else
    echo "dist: the programs are unsigned, those of $build/bin byte for byte"
  fi
}

release_time() {
  if [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
    epoch=$SOURCE_DATE_EPOCH
  elif ! epoch=$(git -c safe.directory="$source_dir" -C "$source_dir" log -1 --format=%ct 2>/dev/null) ||
    [ -z "$epoch" ]; then
    fail "$source_dir is not a git checkout: give the release time as SOURCE_DATE_EPOCH"
  fi
  # A zip's dates start in 1980.
  [[ $epoch =~ ^[0-9]+$ ]] && [ "$epoch" -ge 315532800 ] ||
    fail "SOURCE_DATE_EPOCH=$epoch: expected seconds since 1970, 1980 or later"
}

# The key and its certificate, checked before anything is signed. The
# password reaches openssl through the environment and osslsigncode through a
# pipe, never a command line.
check_key() {
  key=$BINDORA_SIGN_PKCS12
  [ -f "$key" ] || fail "signing key $key (BINDORA_SIGN_PKCS12): no such file"
  [ -r "$key" ] || fail "signing key $key (BINDORA_SIGN_PKCS12): not readable"
  [ -n "${BINDORA_SIGN_PASSWORD+set}" ] ||
    fail "BINDORA_SIGN_PASSWORD is not set (set it empty for a key without a password)"
  local open=(openssl pkcs12 -in "$key" -passin env:BINDORA_SIGN_PASSWORD -nokeys)
  if ! "${open[@]}" -out "$scratch/certs.pem" 2>"$scratch/log"; then
    if grep -q "Mac verify error" "$scratch/log"; then
      fail "signing key $key: wrong password (BINDORA_SIGN_PASSWORD)"
    fi
    # Keys exported by older tools are encrypted with RC2, which OpenSSL 3
    # reads only with its legacy provider.
    open+=(-legacy)
    "${open[@]}" -out "$scratch/certs.pem" 2>"$scratch/log" ||
      fail "signing key $key: not a PKCS#12 file openssl can read"
  fi
  "${open[@]}" -clcerts -out "$scratch/leaf.pem" 2>"$scratch/log" &&
    grep -q "BEGIN CERTIFICATE" "$scratch/leaf.pem" ||
    fail "signing key $key: holds no certificate for its key"

  local leaf=$scratch/leaf.pem usage not_before not_after
  subject=$(openssl x509 -in "$leaf" -noout -subject -nameopt RFC2253 | sed 's/^subject=//')
  usage=$(openssl x509 -in "$leaf" -noout -ext extendedKeyUsage 2>/dev/null | sed 1d | sed 's/^ *//')
  case ", $usage," in
    *", Code Signing,"*) ;;
    *) fail "the certificate $subject is not for code signing (extended key usage: ${usage:-none})" ;;
  esac
  usage=$(openssl x509 -in "$leaf" -noout -ext keyUsage 2>/dev/null | sed 1d | sed 's/^ *//')
  case ", $usage," in
    ", ," | *", Digital Signature,"*) ;;
    *) fail "the certificate $subject may not make signatures (key usage: $usage)" ;;
  esac
  not_before=$(openssl x509 -in "$leaf" -noout -startdate | sed 's/^notBefore=//')
  not_after=$(openssl x509 -in "$leaf" -noout -enddate | sed 's/^notAfter=//')
  [ "$(date -u -d "$not_before" +%s)" -le "$(date +%s)" ] ||
    fail "the certificate $subject is not valid before $not_before"
  openssl x509 -in "$leaf" -noout -checkend 0 >/dev/null ||
    fail "the certificate $subject expired on $not_after"

  # What a signature must verify against: the key file's certificates, the
  # given root, the system's CA list.
  cat "$scratch/certs.pem" >"$scratch/trust.pem"
  if [ -n "${BINDORA_SIGN_CA:-}" ]; then
    [ -f "$BINDORA_SIGN_CA" ] || fail "BINDORA_SIGN_CA=$BINDORA_SIGN_CA: no such file"
    cat "$BINDORA_SIGN_CA" >>"$scratch/trust.pem"
  fi
  if [ -f /etc/ssl/certs/ca-certificates.crt ]; then
    cat /etc/ssl/certs/ca-certificates.crt >>"$scratch/trust.pem"
  fi
  # Newer osslsigncode fetches the revocation lists a certificate names and
  # fails without them; whether the certificate was revoked is Windows' to
  # check on the customer's machine, so the check here stays offline.
  verify_offline=()
  if osslsigncode --help 2>&1 | grep -q -- -ignore-crl; then
    verify_offline=(-ignore-crl)
  fi
}

sign_program() {
  local f=$1 args
  args=(sign -pkcs12 "$key" -h sha256 -comm -n "$product" -i "$url")
  if [ -n "${BINDORA_SIGN_TIMESTAMP_URL:-}" ]; then
    args+=(-ts "$BINDORA_SIGN_TIMESTAMP_URL")
  fi
  # osslsigncode takes the password's line without its line end, and refuses
  # an empty file.
  osslsigncode "${args[@]}" -readpass <(printf '%s\n' "$BINDORA_SIGN_PASSWORD") \
    -in "$f" -out "$scratch/signed.exe" >"$scratch/log" 2>&1 ||
    fail "signing $(basename "$f") failed: $(grep -v '^Failed' "$scratch/log" | tail -2 | tr '\n' ' ')"
  osslsigncode verify "${verify_offline[@]}" -in "$scratch/signed.exe" -CAfile "$scratch/trust.pem" \
    >"$scratch/log" 2>&1 ||
    fail "the signature of $(basename "$f") does not verify" \
      "($(grep -o -m1 'Verify error: .*' "$scratch/log" || echo "signature verification failed"));" \
      "a root CA in neither the key file nor the system's CA list can be given as BINDORA_SIGN_CA"
  mv "$scratch/signed.exe" "$f"
}

pack() {
  read_build "$1"
  mkdir -p "$2"
  local out archive top program f
  out=$(cd "$2" && pwd)
  archive=$out/$name.zip
  # Nothing unsigned or half-signed may stay under the release name.
  rm -f "$archive" "$out/SHA256SUMS"
  release_time
  stage=$(mktemp -d "$out/.pack.XXXXXX")
  top=$stage/$name
  mkdir "$top"
  for program in "${exes[@]}"; do
    cp "$build/bin/$program" "$top/"
  done

  if [ -n "${BINDORA_SIGN_PKCS12:-}" ]; then
    check_key
    echo "dist: signing as $subject"
    for program in "${exes[@]}"; do
      sign_program "$top/$program"
    done
    echo "dist: signed and verified: ${exes[*]}"
  else
    echo "dist: no signing key (BINDORA_SIGN_PKCS12 not set): the programs are packed unsigned"
  fi

  mkdir -p "$top/docs"
  for f in README.md "${docs[@]}"; do
    cp "$source_dir/$f" "$top/$f"
  done
  (cd "$top" && sha256sum "${exes[@]}") >"$top/SHA256SUMS"
  (cd "$top" && chmod 0755 "${exes[@]}" && chmod 0644 README.md "${docs[@]}" SHA256SUMS)
  touch -d "@$epoch" "$top"/* "${docs[@]/#/$top/}"
  # -X: no owner ids or extra times; -D: no folder entries; zip's dates are
  # local time, and it reads options from ZIPOPT and ZIP.
  (cd "$stage" && env -u ZIPOPT -u ZIP TZ=UTC0 zip -X -D -q "$stage/$name.zip" "${entries[@]}")
  check_archive "$stage/$name.zip"
  if [ -n "${BINDORA_SIGN_PKCS12:-}" ] && [ "$signed" -ne ${#exes[@]} ]; then
    fail "the archive was to hold signed programs"
  fi
  cp "$top/SHA256SUMS" "$out/SHA256SUMS"
  mv "$stage/$name.zip" "$archive"
  echo "dist: $archive"
}

case "${1:-}" in
  pack)
    [ $# -eq 3 ] || fail "usage: release.sh pack BUILD_DIR OUT_DIR"
    pack "$2" "$3"
    ;;
  check)
    [ $# -eq 3 ] || fail "usage: release.sh check BUILD_DIR ARCHIVE"
    read_build "$2"
    [ -f "$3" ] || fail "$3: no such file"
    check_archive "$(cd "$(dirname "$3")" && pwd)/$(basename "$3")"
    ;;
  *)
    sed -n '2,13p' "$0" | sed 's/^# \{0,1\}//'
    exit 2
    ;;
esac
