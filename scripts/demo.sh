#!/bin/sh
# The main job on bundled samples. Installs and builds what is missing, then:
#   1. signs a sample configuration package with the demo key (package tool),
#   2. writes a sample answer file,
#   3. runs kvsetupconfigurator on the signed sample setup executable, which has a reserved
#      configuration area, writing the configured copy into build/demo/,
#   4. reads the package and the answer file back out of the copy and shows them,
#   5. shows that osslsigncode still accepts the copy's Authenticode signature.
# Exits non-zero when any step fails.
set -eu
cd "$(dirname "$0")/.."
ROOT=$(pwd)
BUILD=$ROOT/build/linux
DEMO=$ROOT/build/demo

step() { printf '\n== %s\n' "$*"; }
show() { printf '$ %s\n' "$*"; "$@"; }

step "Installing missing Debian packages (if any)"
sh scripts/install-deps.sh

step "Building the program, the tools and the sample setup files (only what is missing)"
[ -f "$BUILD/build.ninja" ] || cmake --preset linux >/dev/null
cmake --build --preset linux --target kvsetupconfigurator kvreadback kvpackage kv_fixtures

PROGRAM=$BUILD/app/kvsetupconfigurator
PACKAGE_TOOL=$BUILD/tools/package/kvpackage
READBACK=$BUILD/tools/readback/kvreadback
FIXTURES=$BUILD/fixtures

rm -rf "$DEMO"
mkdir -p "$DEMO"
echo "Demo folder: $DEMO"

step "1. A sample configuration package, signed with the demo key"
cat >"$DEMO/entries.txt" <<'EOF'
KVSERVERURL=http://kv.example.com/kv
RAURL=http://ra.example.com/
REGEMAILTO=registration@example.com
REGSMTPSERVER=smtp.example.com
REGSMTPPORT=587
REGSMTPSSL=1
EOF
show "$PACKAGE_TOOL" --key "$ROOT/keys/demo-private.pem" --company "Example Company Ltd." \
  --out "$DEMO/K-VConfig.bin" "$DEMO/entries.txt"
echo "--- $DEMO/K-VConfig.bin"
cat "$DEMO/K-VConfig.bin"

step "2. A sample answer file"
printf '[Setup]\r\nMode=Unattended\r\nInstallDir=C:\\Program Files\\KV\r\nAcceptLicense=1\r\n' \
  >"$DEMO/AutoInstall.srg"
cat "$DEMO/AutoInstall.srg"

step "3. Configuring the signed sample setup file"
cp "$FIXTURES/setup.exe" "$DEMO/setup.exe"
show "$PROGRAM" "-cf:$DEMO/K-VConfig.bin" "-ai:$DEMO/AutoInstall.srg" \
  "-src:$DEMO/setup.exe" "-out:$DEMO/setup-configured.exe"
echo "exit code 0; $(stat -c %s "$DEMO/setup.exe") bytes in, $(stat -c %s \
  "$DEMO/setup-configured.exe") bytes out"
# cmp -l lists every differing byte (1-based offsets): the PE header's checksum field, and the
# blob list written into the data area near the end of the file.
cmp -l "$DEMO/setup.exe" "$DEMO/setup-configured.exe" | awk '
  $1 <= 1024 { header++; next }
  { if (!first) first = $1; last = $1; area++ }
  END { printf "changed: %d bytes of the PE checksum field, %d bytes of the data area " \
               "(offsets %d to %d); everything else is identical\n", header, area, first - 1,
               last - 1 }'

step "4. Reading the package and the answer file back out of the configured copy"
show "$READBACK" "$DEMO/setup-configured.exe" --package "$DEMO/readback-K-VConfig.bin" \
  --answer "$DEMO/readback-AutoInstall.srg"
echo "--- the answer file read back:"
cat "$DEMO/readback-AutoInstall.srg"
show cmp "$DEMO/K-VConfig.bin" "$DEMO/readback-K-VConfig.bin"
show cmp "$DEMO/AutoInstall.srg" "$DEMO/readback-AutoInstall.srg"
echo "round trip: package and answer file come back byte for byte"

step "5. The Authenticode signature of the configured copy still verifies"
echo "$ osslsigncode verify -CAfile $FIXTURES/ca.pem -in $DEMO/setup-configured.exe"
if ! verify=$(osslsigncode verify -CAfile "$FIXTURES/ca.pem" -in "$DEMO/setup-configured.exe" 2>&1)
then
  printf '%s\n' "$verify"
  echo "osslsigncode verify FAILED"
  exit 1
fi
printf '%s\n' "$verify" | grep -E 'PE checksum|Signature verification|Succeeded'

step "Done: the configured setup file is $DEMO/setup-configured.exe"
