#!/bin/sh
# Times the package check against the openssl command line, by hand (not run by CI):
#   sh bench/bench_package.sh [BUILD_DIR] [RUNS]
# Builds a signed package of just under 1 MiB with kvpackage, then runs "kvpackage --check"
# (load, parse, SHA-512 and RSA-4096 verify) and "openssl dgst -sha512 -verify" on the same
# signed bytes RUNS times each, taking turns, and prints both times and their ratio (goal: at
# most 1.2).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/linux}
runs=${2:-20}
tool=$build/tools/package/kvpackage
if [ ! -x "$tool" ]; then
  echo "no $tool; build it first: cmake --build --preset linux --target kvpackage" >&2
  exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# About 12,400 entries of 82 characters: the package ends a little below 1,048,576 bytes.
{
  echo "KVSERVERURL=http://kv.example/"
  i=0
  while [ $i -lt 12400 ]; do
    printf 'FILLER%05d=%070d\n' $i $i
    i=$((i + 1))
  done
} >entries.txt
"$tool" --key "$root/keys/demo-private.pem" --company "Bench" --out package.bin entries.txt
size=$(wc -c <package.bin)

offset=$(grep -abo 'SIGNATURE=' package.bin | tail -1 | cut -d: -f1)
head -c "$offset" package.bin >signed.bin
tail -c +"$((offset + 1))" package.bin | tr -d '\r\n~' | sed 's/^SIGNATURE=//' | head -c 684 |
  openssl base64 -d -A >signature.bin
public_key=$root/keys/demo-public.pem
openssl dgst -sha512 -verify "$public_key" -signature signature.bin signed.bin >/dev/null
"$tool" --check --pubkey "$public_key" package.bin >/dev/null

now_ns() { date +%s%N; }
elapsed_us() {  # command...: wall time of one run in microseconds
  t0=$(now_ns)
  "$@" >/dev/null
  echo $((($(now_ns) - t0) / 1000))
}
# The two commands take turns, so load from elsewhere on the machine hits both alike; the best
# run of each is the figure least disturbed by it.
ours=""
theirs=""
ours_sum=0
theirs_sum=0
n=0
while [ $n -lt "$runs" ]; do
  a=$(elapsed_us "$tool" --check --pubkey "$public_key" package.bin)
  b=$(elapsed_us openssl dgst -sha512 -verify "$public_key" -signature signature.bin signed.bin)
  ours_sum=$((ours_sum + a))
  theirs_sum=$((theirs_sum + b))
  if [ -z "$ours" ] || [ "$a" -lt "$ours" ]; then ours=$a; fi
  if [ -z "$theirs" ] || [ "$b" -lt "$theirs" ]; then theirs=$b; fi
  n=$((n + 1))
done
inside=$("$tool" --check --time --pubkey "$public_key" package.bin | sed -n 's/^parse and verify: //p')

echo "package: $size bytes, $runs runs each, process start included in both"
echo "kvpackage --check (load, parse, verify): best $ours us, mean $((ours_sum / runs)) us"
echo "  of which ParseConfigPackage alone:     $inside (one run, file already loaded)"
echo "openssl dgst -sha512 -verify:            best $theirs us, mean $((theirs_sum / runs)) us"
awk -v a="$ours" -v b="$theirs" 'BEGIN { printf "ratio of the best runs: %.2f (goal: at most 1.20)\n", a / b }'
