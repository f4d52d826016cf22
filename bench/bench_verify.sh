#!/bin/sh
# Verification benchmark, run by hand (not by CI): the full Authenticode check of a 1 GiB signed
# and configured executable (kvreadback --verify: content digest, messageDigest, the signer's
# signature) in turns with sha256sum and osslsigncode verify on the same file; the figures are
# medians of paired runs (bench/paired_runs.py). Goal: within 1.2 times sha256sum, and faster than
# osslsigncode verify.
#
# Usage: bench/bench_verify.sh [BUILD_DIR]
#   BUILD_DIR defaults to build/linux; it must hold the targets kvreadback, kvsetupconfigurator,
#   reservearea and kv_fixtures:
#   cmake --build --preset linux --target kvreadback kvsetupconfigurator reservearea kv_fixtures
# Needs osslsigncode and openssl, and about 3 GiB of free space in TMPDIR (default /tmp).
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build/linux}
READBACK=$BUILD/tools/readback/kvreadback
CONFIGURE=$BUILD/app/kvsetupconfigurator
RESERVE=$BUILD/tools/reservearea/reservearea
NOAREA=$BUILD/fixtures/setup-noarea.exe
PACKAGE=$ROOT/tests/fixtures/legacy-package.txt
ROUNDS=${ROUNDS:-5}
MIB=1048576

for f in "$READBACK" "$CONFIGURE" "$RESERVE" "$NOAREA" "$PACKAGE"; do
  [ -e "$f" ] || { echo "bench_verify.sh: missing $f (build the targets named above)" >&2; exit 1; }
done

WORK=$(mktemp -d "${TMPDIR:-/tmp}/kv-bench.XXXXXX")
trap 'rm -rf "$WORK"' EXIT INT TERM

# The fixture's code, 1 GiB of written bytes after its image, signed with a throwaway
# certificate, given an area and configured.
echo "Signing and configuring a 1 GiB executable in $WORK ..."
osslsigncode remove-signature -in "$NOAREA" -out "$WORK/code.exe" >/dev/null
cp "$WORK/code.exe" "$WORK/big.exe"
dd if=/dev/zero bs=$MIB count=1024 status=none >>"$WORK/big.exe"
openssl req -x509 -newkey rsa:2048 -nodes -subj "/CN=KV bench" -days 2 \
  -addext extendedKeyUsage=codeSigning -keyout "$WORK/bench.key" -out "$WORK/bench.pem" \
  2>/dev/null
osslsigncode sign -certs "$WORK/bench.pem" -key "$WORK/bench.key" -h sha256 \
  -in "$WORK/big.exe" -out "$WORK/signed.exe" >/dev/null
rm -f "$WORK/big.exe"
"$RESERVE" "$WORK/signed.exe" 65536 "$WORK/area.exe" >/dev/null
rm -f "$WORK/signed.exe"
"$CONFIGURE" "-cf:$PACKAGE" "-src:$WORK/area.exe" "-out:$WORK/checked.exe"
rm -f "$WORK/area.exe"
CHECKED=$WORK/checked.exe
"$READBACK" --verify --ca "$WORK/bench.pem" "$CHECKED" | grep -q "^Authenticode verdict: valid" ||
  { echo "bench_verify.sh: the signed 1 GiB file is not valid" >&2; exit 1; }
peak=$(/usr/bin/time -f %M "$READBACK" --verify "$CHECKED" 2>&1 >/dev/null | tail -n 1)
echo "kvreadback --verify on $(stat -c %s "$CHECKED") bytes against sha256sum and osslsigncode" \
  "verify, $ROUNDS rounds (goal: \"sha256sum / this\" at least 0.83 for kvreadback and above" \
  "osslsigncode's):"
python3 "$ROOT/bench/paired_runs.py" "$ROUNDS" sha256sum -- sha256sum "$CHECKED" \
  -- kvreadback -- "$READBACK" --verify --ca "$WORK/bench.pem" "$CHECKED" \
  -- osslsigncode -- osslsigncode verify -CAfile "$WORK/bench.pem" -in "$CHECKED"
echo "kvreadback --verify peak resident memory: $peak KiB (goal: under 16384 KiB)"
