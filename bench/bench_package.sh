#!/bin/sh
# Package check benchmark, run by hand (not by CI):
#   sh bench/bench_package.sh [BUILD_DIR] [RUNS] [EARLIER_KVPACKAGE]
# BUILD_DIR (default build/linux) must hold kvpackage: cmake --build --preset linux --target
# kvpackage. EARLIER_KVPACKAGE, a kvpackage built from another commit, is measured in the same
# rounds (its own --bench lines, and a fourth command in the paired runs), for before and after. For signed packages of exactly 1 KiB, 64 KiB and 1 MiB (KEY=VALUE lines of 84 bytes
# with CR LF, the signature split over "~" lines as the tool writes it), and for one of about
# 1 MiB that carries a logo of 740,000 bytes, it prints:
#  - "kvpackage --bench": the parse alone, the parse with the signature check, and SHA-512 of the
#    same bytes, in MB/s, medians of paired timings inside one process;
#  - "kvpackage --check" (load, parse, verify) beside "openssl dgst -sha512 -verify" and
#    "openssl dgst -sha512" on the same signed bytes, process start included in all: medians of
#    RUNS (default 41) paired runs, and the median of the pairs' ratios.
# Goals: at 1 MiB, kvpackage --check / openssl dgst -sha512 -verify at most 1.15, and the parse
# alone at least half of SHA-512's throughput.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/linux}
runs=${2:-41}
earlier=${3:-}
tool=$build/tools/package/kvpackage
if [ ! -x "$tool" ]; then
  echo "no $tool; build it first: cmake --build --preset linux --target kvpackage" >&2
  exit 1
fi
tool=$(cd "$(dirname "$tool")" && pwd)/kvpackage  # absolute: the run changes folder
if [ -n "$earlier" ]; then
  if [ ! -x "$earlier" ]; then
    echo "no $earlier" >&2
    exit 1
  fi
  earlier=$(cd "$(dirname "$earlier")" && pwd)/$(basename "$earlier")
fi
private_key=$root/keys/demo-private.pem
public_key=$root/keys/demo-public.pem
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

line_size=84  # "FILLERnnnnn=" and 70 digits, then CR LF
pad_limit=70  # a pad value stays below the tool's split width of 76

# entries.txt with a server URL, $1 filler entries and two pad entries of $2 and $3 characters.
write_entries() {
  {
    echo "KVSERVERURL=http://kv.example/"
    i=0
    while [ "$i" -lt "$1" ]; do
      printf 'FILLER%05d=%070d\n' "$i" "$i"
      i=$((i + 1))
    done
    printf 'PADA=%s\nPADB=%s\n' "$(printf '%*s' "$2" '' | tr ' ' a)" \
      "$(printf '%*s' "$3" '' | tr ' ' b)"
  } >entries.txt
}

build_package() {
  "$tool" --key "$private_key" --company "Bench" --out "$1" entries.txt
}

# signed-NAME (the bytes before the "SIGNATURE" line) and signature-NAME (the signature's bytes)
# for openssl, from the package NAME.
split_signature() {
  offset=$(grep -abo 'SIGNATURE=' "$1" | tail -1 | cut -d: -f1)
  head -c "$offset" "$1" >"signed-$1"
  tail -c +"$((offset + 1))" "$1" | tr -d '\r\n~' | sed 's/^SIGNATURE=//' | head -c 684 |
    openssl base64 -d -A >"signature-$1"
  openssl dgst -sha512 -verify "$public_key" -signature "signature-$1" "signed-$1" >/dev/null
}

# package-SIZE.bin of exactly SIZE bytes.
make_package() {
  size=$1
  write_entries 0 1 1
  build_package base.bin
  fillers=$(((size - $(wc -c <base.bin)) / line_size))
  write_entries "$fillers" 1 1
  build_package base.bin
  rest=$((size - $(wc -c <base.bin)))
  first=$rest
  if [ "$first" -gt "$pad_limit" ]; then first=$pad_limit; fi
  write_entries "$fillers" $((1 + first)) $((1 + rest - first))
  build_package "package-$size.bin"
  if [ "$(wc -c <"package-$size.bin")" -ne "$size" ]; then
    echo "bench_package.sh: could not make a package of $size bytes" >&2
    exit 1
  fi
}

measure() {
  package=$1
  split_signature "$package"
  "$tool" --bench --pubkey "$public_key" "$package" | sed 1d
  set --
  if [ -n "$earlier" ]; then
    echo "  the earlier kvpackage:"
    "$earlier" --bench --pubkey "$public_key" "$package" | sed 1d | sed 's/^/  /'
    set -- -- "kvpackage --check (earlier)" -- "$earlier" --check --pubkey "$public_key" "$package"
  fi
  echo "  process start included, medians of $runs paired runs:"
  python3 "$root/bench/paired_runs.py" "$runs" \
    "kvpackage --check" -- "$tool" --check --pubkey "$public_key" "$package" -- \
    "openssl dgst -sha512 -verify" -- openssl dgst -sha512 -verify "$public_key" \
    -signature "signature-$package" "signed-$package" -- \
    "openssl dgst -sha512" -- openssl dgst -sha512 "signed-$package" "$@"
}

for size in 1024 65536 1048576; do
  make_package "$size"
  echo "== package of $size bytes"
  measure "package-$size.bin"
done

# A package of the same order whose bytes are mostly one scrambled value: a logo of 740,000
# bytes, written as about 13,000 "~" continuation lines.
{ printf '\211PNG\r\n\032\n'; yes logo | head -c 739992; } >logo.png
write_entries 0 1 1
"$tool" --key "$private_key" --company "Bench" --logo logo.png --out package-logo.bin entries.txt
echo "== package of $(wc -c <package-logo.bin) bytes, most of them a logo"
measure package-logo.bin
