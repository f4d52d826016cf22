#!/bin/sh
# Makes the release packages in build/release/:
#   KVSetupConfigurator-<version>-win64.zip   the Windows program, its console twin, kvreadback,
#                                             a README for administrators and the licence
#   KVSetupConfigurator-<version>-win64.msi   the same files as a 64-bit per-machine install
#   kvsetupconfigurator_<version>_amd64.deb   the Linux programs with manual pages
#   SHA256SUMS                                over all three
#
#   sh scripts/release.sh [--sign CERT.p12 [--password-file FILE] [--timestamp URL]]
#                         [VENDOR-PUBLIC-KEY.pem]
#
# The programs trust one built-in public key: the vendor's, given as "RSA PUBLIC KEY" PEM
# (openssl rsa -in PRIVATE.pem -RSAPublicKey_out). Without one the release is built with the
# public demo key, whose packages anybody can sign: its version and file names then end in
# "-demo". The builds live in build/release-work/ and are reused by the next run.
#
# --sign signs the three Windows programs before they are packed, and the MSI, with the
# code-signing certificate and key in CERT.p12 (Authenticode, SHA-256, osslsigncode). Its
# password is read from FILE by osslsigncode alone; --timestamp adds a time stamp from that
# RFC 3161 server. Without --sign the Windows programs and the MSI are unsigned.
set -eu
usage() {
  echo "usage: sh scripts/release.sh [--sign CERT.p12 [--password-file FILE] [--timestamp URL]] [VENDOR-PUBLIC-KEY.pem]" >&2
  exit 2
}
# absolute PATH WHAT: PATH made absolute, after checking that it names a readable file.
absolute() {
  [ -f "$1" ] && [ -r "$1" ] || { echo "release.sh: no such $2: $1" >&2; exit 2; }
  echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
}

CERT=""
PASSWORD_FILE=""
TIMESTAMP=""
KEY=""
while [ $# -gt 0 ]; do
  case $1 in
    --sign) [ $# -ge 2 ] || usage; CERT=$(absolute "$2" certificate); shift 2 ;;
    --password-file) [ $# -ge 2 ] || usage; PASSWORD_FILE=$(absolute "$2" "password file"); shift 2 ;;
    --timestamp) [ $# -ge 2 ] || usage; TIMESTAMP=$2; shift 2 ;;
    -*) usage ;;
    *) [ -z "$KEY" ] || usage; KEY=$(absolute "$1" "key file"); shift ;;
  esac
done
[ -n "$CERT" ] || [ -z "$PASSWORD_FILE$TIMESTAMP" ] || usage

cd "$(dirname "$0")/.."
ROOT=$(pwd)
OUT=$ROOT/build/release
WORK=$ROOT/build/release-work

demo_banner() {
  cat >&2 <<'BANNER'

  ************************************************************************************
  *  DEMO RELEASE: built with the public demo key (keys/demo-public.pem).            *
  *  Anybody can sign packages these programs accept as valid. Do not ship it.       *
  *  For a vendor release: sh scripts/release.sh /path/to/vendor-public.pem          *
  ************************************************************************************

BANNER
}
unsigned_banner() {
  cat >&2 <<'BANNER'

  ************************************************************************************
  *  UNSIGNED RELEASE: the Windows programs and the MSI carry no code signature.     *
  *  SmartScreen, AppLocker and WDAC will warn about or block them.                  *
  *  To sign: sh scripts/release.sh --sign CERT.p12 --password-file FILE ...         *
  ************************************************************************************

BANNER
}

[ -n "$KEY" ] || { KEY=$ROOT/keys/demo-public.pem; demo_banner; }
[ -n "$CERT" ] || unsigned_banner

sh scripts/install-deps.sh
mkdir -p "$WORK"

# The certificate, its password and the time-stamp server are tried on an empty MSI first, with
# the options cmake/Signing.cmake uses, so that a mistake shows now and not after the builds.
if [ -n "$CERT" ]; then
  probe=$WORK/signing-probe.msi
  rm -f "$probe" "$probe.signed"
  msibuild "$probe" -s probe
  set -- sign -pkcs12 "$CERT" -h sha256
  [ -z "$PASSWORD_FILE" ] || set -- "$@" -readpass "$PASSWORD_FILE"
  [ -z "$TIMESTAMP" ] || set -- "$@" -ts "$TIMESTAMP"
  if ! osslsigncode "$@" -in "$probe" -out "$probe.signed" >/dev/null 2>"$WORK/signing-probe.log"; then
    echo "release.sh: signing failed: $(grep -m1 . "$WORK/signing-probe.log")" >&2
    exit 1
  fi
  rm -f "$probe" "$probe.signed" "$WORK/signing-probe.log"
fi

# build NAME GENERATORS [CMAKE ARGUMENTS...]: a Release build without tests, packed by CPack.
build() {
  name=$1
  generators=$2
  shift 2
  cmake -S "$ROOT" -B "$WORK/$name" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKV_BUILD_TESTS=OFF \
    -DKV_PACKAGE_PUBLIC_KEY="$KEY" "$@"
  cmake --build "$WORK/$name" -j2
  rm -rf "$WORK/$name-packages"
  set -- -G "$generators" --config "$WORK/$name/CPackConfig.cmake" -B "$WORK/$name-packages"
  if [ -n "$CERT" ]; then
    set -- "$@" -D CPACK_KV_SIGN_PKCS12="$CERT" -D CPACK_KV_SIGN_PASSWORD_FILE="$PASSWORD_FILE" \
      -D CPACK_KV_SIGN_TIMESTAMP="$TIMESTAMP"
  fi
  log=$WORK/$name-cpack.log
  if ! cpack "$@" >"$log" 2>&1; then
    # A signing failure is the message of cmake/Signing.cmake, which CMake wraps: joined again
    # into one line. Anything else shows the whole log.
    reason=$(awk '/kv-sign: /{f=1} /^Call Stack/{f=0} f' "$log" | sed 's/^ *//' | tr '\n' ' ' |
      sed 's/^kv-sign: //; s/ *$//')
    [ -n "$reason" ] || { cat "$log" >&2; reason="cpack failed"; }
    echo "release.sh: $reason" >&2
    exit 1
  fi
  cat "$log"
  find "$WORK/$name-packages" -maxdepth 1 -type f \
    \( -name '*.deb' -o -name '*.zip' -o -name '*.msi' \) -exec mv {} "$OUT/" \;
}

rm -rf "$OUT"
mkdir -p "$OUT"
build linux DEB
build windows "ZIP;External" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake"

cd "$OUT"
set -- *.zip *.msi *.deb
[ $# -eq 3 ] && [ -f "$1" ] && [ -f "$2" ] && [ -f "$3" ] ||
  { echo "release.sh: packages missing" >&2; exit 1; }
sha256sum "$@" >SHA256SUMS
echo "Release packages in $OUT:"
ls -l "$OUT"
case $1 in *-demo-*) demo_banner ;; esac
[ -n "$CERT" ] || unsigned_banner
