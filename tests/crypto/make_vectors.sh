#!/bin/sh
# Makes the signature test vectors with the openssl command line, independently of the code
# under test: make_vectors.sh OUTDIR PRIVATE_KEY.pem
#   message.bin                  the signed bytes (CR LF, LF, a zero byte, bytes above 7Fh)
#   sha512.sig sha256.sig sha1.sig pss.sig   openssl dgst signatures of message.bin
#   raw-good.sig raw-bt02.sig raw-nonull.sig  raw RSA on hand-made encoded messages
#   other-public.pem other.sig   a second (2048-bit) key pair and its signature of message.bin
#   spki-public.pem              the demo public key as "PUBLIC KEY" (SubjectPublicKeyInfo)
#   modulus.bin                  the demo key's modulus, as a representative out of range
set -eu
out=$1
key=$2
mkdir -p "$out"
cd "$out"
printf 'Quillabrenthorst Configuration ver #2.00\r\nKVSERVERURL=http://kv.example/\nA=\0\377\r\n' \
  >message.bin
for digest in sha512 sha256 sha1; do
  openssl dgst -"$digest" -sign "$key" -out "$digest.sig" message.bin
done
openssl dgst -sha512 -sigopt rsa_padding_mode:pss -sign "$key" -out pss.sig message.bin

# Encoded messages EM = 00 BT FF..FF 00 DigestInfo H for a 512-byte modulus, signed with the raw
# RSA private operation: the good one must verify, a wrong block type or a DigestInfo without
# its NULL parameters must not.
openssl dgst -sha512 -binary -out digest.bin message.bin
ff_run() { head -c "$1" /dev/zero | tr '\0' '\377'; }
make_em() {  # block type, DigestInfo hex, name
  prefix_len=$(( ${#2} / 2 ))
  { printf '\000'; printf "\\$(printf '%03o' "$1")"; ff_run $((512 - 3 - prefix_len - 64))
    printf '\000'; printf '%s' "$2" | xxd -r -p; cat digest.bin; } >"$3.em"
  openssl rsautl -sign -raw -inkey "$key" -in "$3.em" -out "$3.sig" 2>/dev/null
  rm -f "$3.em"
}
make_em 1 3051300d060960864801650304020305000440 raw-good
make_em 2 3051300d060960864801650304020305000440 raw-bt02
make_em 1 304f300b06096086480165030402030440 raw-nonull
rm -f digest.bin

openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out other-private.pem 2>/dev/null
openssl rsa -in other-private.pem -RSAPublicKey_out -out other-public.pem 2>/dev/null
openssl dgst -sha512 -sign other-private.pem -out other.sig message.bin
rm -f other-private.pem

openssl rsa -in "$key" -pubout -out spki-public.pem 2>/dev/null
openssl rsa -in "$key" -noout -modulus | sed 's/^Modulus=//' | xxd -r -p >modulus.bin
