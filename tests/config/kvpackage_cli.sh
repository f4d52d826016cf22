#!/bin/sh
# Runs kvpackage as a vendor would: kvpackage_cli.sh KVPACKAGE SOURCE_DIR WORK_DIR. Writes a
# package, checks it with the tool and verifies its signed bytes with "openssl dgst -verify";
# then checks that bad input ends with exit code 1 and one clear error line.
set -eu
tool=$1
keys=$2/keys
work=$3
rm -rf "$work"
mkdir -p "$work"
cd "$work"
fail() { echo "FAILED: $*"; exit 1; }

printf 'KVSERVERURL=http://kv.example/\r\nREGSMTPPORT=25\r\n' >entries.txt
printf '\211PNG\r\n\032\nlogo' >logo.png
"$tool" --key "$keys/demo-private.pem" --company "ACME" --logo logo.png --out p.bin entries.txt
"$tool" --check --pubkey "$keys/demo-public.pem" p.bin >check.txt || fail "--check"
grep -q '^signature: valid$' check.txt || fail "check output"
grep -q '^company: ACME$' check.txt || fail "check output"

# The signature covers the bytes up to the "SIGNATURE" line; openssl must agree.
offset=$(grep -abo 'SIGNATURE=' p.bin | tail -1 | cut -d: -f1)
head -c "$offset" p.bin >signed.bin
tail -c +"$((offset + 1))" p.bin | tr -d '\r\n~' | sed 's/^SIGNATURE=//' | head -c 684 |
  openssl base64 -d -A >signature.bin
openssl dgst -sha512 -verify "$keys/demo-public.pem" -signature signature.bin signed.bin ||
  fail "openssl does not verify the package signature"

"$tool" --key "$keys/demo-private.pem" --company A --lf --out lf.bin entries.txt
if grep -q "$(printf '\r')" lf.bin; then fail "--lf wrote a CR"; fi

expect_error() {  # expected exit code, expected text, arguments...
  code=$1 text=$2
  shift 2
  set +e
  "$tool" "$@" >out.txt 2>err.txt
  got=$?
  set -e
  [ "$got" -eq "$code" ] || fail "exit $got, expected $code: $*"
  grep -q "$text" err.txt || fail "message '$(cat err.txt)' lacks '$text'"
  [ ! -e bad.bin ] || fail "bad.bin written: $*"
}
printf 'RAURL=x\n' >nourl.txt
printf 'RAURL =x\n' >badkey.txt
expect_error 2 "required" --company A entries.txt
expect_error 2 "unknown option --bogus" --bogus entries.txt
expect_error 2 "width needs a number" --width 99999999999999999999 --company A entries.txt
expect_error 2 "rounds needs a number from 1" --bench --rounds 0 p.bin
expect_error 1 "kvpackage: error: nourl.txt: no KVSERVERURL" --key "$keys/demo-private.pem" \
  --company A --out bad.bin nourl.txt
expect_error 1 "kvpackage: error: badkey.txt: line 1: the key contains a blank" \
  --key "$keys/demo-private.pem" --company A --out bad.bin badkey.txt
expect_error 1 "kvpackage: error: .*demo-public.pem: the key file holds no private key" \
  --key "$keys/demo-public.pem" --company A --out bad.bin entries.txt
expect_error 1 "kvpackage: error: the logo is not a PNG file" --key "$keys/demo-private.pem" \
  --company A --logo entries.txt --out bad.bin entries.txt
expect_error 1 "kvpackage: error: cannot read the entry list \"missing.txt\"" \
  --key "$keys/demo-private.pem" --company A --out bad.bin missing.txt
sed 's/REGSMTPPORT=25/REGSMTPPORT=26/' p.bin >tampered.bin
expect_error 1 "kvpackage: error: the signature is not valid" --check \
  --pubkey "$keys/demo-public.pem" tampered.bin
grep -q '^signature: INVALID$' out.txt || fail "check output of a tampered package"

"$tool" --bench --rounds 3 --pubkey "$keys/demo-public.pem" p.bin >bench.txt || fail "--bench"
grep -q '^parse and verify .* MB/s .* ms$' bench.txt || fail "bench output: $(cat bench.txt)"
expect_error 1 "kvpackage: error: the package's signature is not valid" --bench \
  --pubkey "$keys/demo-public.pem" tampered.bin
echo "kvpackage command line: all checks passed"
