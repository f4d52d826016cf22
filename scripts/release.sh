#!/bin/sh
# Makes the release packages in build/release/:
#   KVSetupConfigurator-<version>-win64.zip   the Windows program, its console twin, kvreadback,
#                                             a README for administrators and the licence
#   kvsetupconfigurator_<version>_amd64.deb   the Linux programs with manual pages
#   SHA256SUMS                                over both
#
#   sh scripts/release.sh [VENDOR-PUBLIC-KEY.pem]
#
# The programs trust one built-in public key: the vendor's, given as "RSA PUBLIC KEY" PEM
# (openssl rsa -in PRIVATE.pem -RSAPublicKey_out). Without one the release is built with the
# public demo key, whose packages anybody can sign: its version and file names then end in
# "-demo". The builds live in build/release-work/ and are reused by the next run.
set -eu
cd "$(dirname "$0")/.."
ROOT=$(pwd)
OUT=$ROOT/build/release
WORK=$ROOT/build/release-work

demo_banner() {
  cat >&2 <<'BANNER'

  ************************************************************************************
  *  DEMO RELEASE: built with the public demo key (keys/demo-public.pem).            *
  *  Anybody can sign packages these programs accept as valid. Do not ship it.      *
  *  For a vendor release: sh scripts/release.sh /path/to/vendor-public.pem         *
  ************************************************************************************

BANNER
}

case $# in
  0) KEY=$ROOT/keys/demo-public.pem; demo_banner ;;
  1)
    [ -f "$1" ] || { echo "release.sh: no such key file: $1" >&2; exit 2; }
    KEY=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
    ;;
  *) echo "usage: sh scripts/release.sh [VENDOR-PUBLIC-KEY.pem]" >&2; exit 2 ;;
esac

sh scripts/install-deps.sh

# build NAME GENERATOR [CMAKE ARGUMENTS...]: a Release build without tests, packed by CPack.
build() {
  name=$1
  generator=$2
  shift 2
  cmake -S "$ROOT" -B "$WORK/$name" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKV_BUILD_TESTS=OFF \
    -DKV_PACKAGE_PUBLIC_KEY="$KEY" "$@"
  cmake --build "$WORK/$name" -j2
  rm -rf "$WORK/$name-packages"
  cpack -G "$generator" --config "$WORK/$name/CPackConfig.cmake" -B "$WORK/$name-packages"
  find "$WORK/$name-packages" -maxdepth 1 -type f -name "*.$(echo "$generator" | tr A-Z a-z)" \
    -exec mv {} "$OUT/" \;
}

rm -rf "$OUT"
mkdir -p "$OUT"
build linux DEB
build windows ZIP -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake"

cd "$OUT"
set -- *.zip *.deb
[ $# -eq 2 ] && [ -f "$1" ] && [ -f "$2" ] || { echo "release.sh: packages missing" >&2; exit 1; }
sha256sum "$@" >SHA256SUMS
echo "Release packages in $OUT:"
ls -l "$OUT"
case $1 in *-demo-*) demo_banner ;; esac
