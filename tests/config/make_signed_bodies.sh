#!/bin/sh
# Makes signed package bodies with the openssl command line: make_signed_bodies.sh OUTDIR KEY.pem
# For each NAME: NAME.body holds the bytes a package signs (header and entries up to the
# "SIGNATURE" line) and NAME.sig the base64 text of their SHA-512 PKCS#1 v1.5 signature.
set -eu
out=$1
key=$2
mkdir -p "$out"
cd "$out"
header='Quillabrenthorst Configuration ver #2.00'
# CR LF, a comment line and a blank line between entries, a "~" continuation.
printf '%s\r\nKVSERVERURL=http://kv.example/base\r\n# comment\r\n\r\nRAURL=http://ra.example/?a=b\r\nREGEMAILTO=admin@~\r\n  example.com \r\n' \
  "$header" >crlf.body
printf '%s\nKVSERVERURL=http://kv.example/base\nRAURL=x\n' "$header" >lf.body
# CR alone, and LF CR (two line ends).
printf '%s\rKVSERVERURL=http://kv.example/base\n\rRAURL=x\r' "$header" >mixed.body
printf '%s\r\n' "$header" >header.body
printf '%s\r\nRAURL=http://ra.example/\r\n' "$header" >nourl.body
for body in *.body; do
  openssl dgst -sha512 -sign "$key" "$body" | openssl base64 -A >"${body%.body}.sig"
done
