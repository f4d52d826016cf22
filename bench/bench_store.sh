#!/bin/sh
# Store benchmark, run by hand (not by CI): configures a 1 GiB setup executable whose data area is
# near its end and compares the time with a durable copy (cp, then sync of the copy) of the same
# file in the same run, and with plain cp for context; also reports the driver's peak resident
# memory and the time of reading the package back from the 1 GiB output. Each configure run is
# paired with the copies of its round; the figures are medians. Last, kvreadback inspects a 1 GiB
# signed and configured executable (one pass of its Authenticode digest) in turns with sha256sum
# on the same file.
#
# Usage: bench/bench_store.sh [BUILD_DIR]
#   BUILD_DIR defaults to build/linux; it must hold the targets storebench, kvreadback, reservearea
#   and kv_fixtures:
#   cmake --build --preset linux --target storebench kvreadback reservearea kv_fixtures
# Needs osslsigncode and openssl, and about 6 GiB of free space in TMPDIR (default /tmp).
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build/linux}
DRIVER=$BUILD/tools/storebench/storebench
READBACK=$BUILD/tools/readback/kvreadback
RESERVE=$BUILD/tools/reservearea/reservearea
FIXTURE=$BUILD/fixtures/setup.exe
PACKAGE=$ROOT/tests/fixtures/legacy-package.txt
ROUNDS=${ROUNDS:-5}
SIZE=1073741824      # 1 GiB
HEAD_SIZE=1024       # MZ and PE headers of the fixture
MIB=1048576

for f in "$DRIVER" "$READBACK" "$RESERVE" "$FIXTURE" "$PACKAGE"; do
  [ -e "$f" ] || { echo "bench_store.sh: missing $f (build the targets named above)" >&2; exit 1; }
done

WORK=$(mktemp -d "${TMPDIR:-/tmp}/kv-bench.XXXXXX")
trap 'rm -rf "$WORK"' EXIT INT TERM
SOURCE=$WORK/setup-1gib.exe

now() { date +%s.%N; }
elapsed() { echo "$1 $2" | awk '{ printf "%.3f", $2 - $1 }'; }
field() { echo "$1" | tr ' ' '\n' | sed -n "s/^$2=//p"; }
smaller() { awk -v a="$1" -v b="$2" 'BEGIN { print (a == "" || b + 0 < a + 0) ? b : a }'; }

# The source: the fixture's headers at the start, its tail (the signature with the data area) at
# the end, and 1 GiB of written (not sparse) bytes between them.
echo "Writing a 1 GiB setup executable in $WORK ..."
fixture_size=$(stat -c %s "$FIXTURE")
tail_size=$((fixture_size - HEAD_SIZE))
dd if=/dev/zero of="$SOURCE" bs=$MIB count=$((SIZE / MIB)) status=none
dd if="$FIXTURE" of="$SOURCE" bs=$HEAD_SIZE count=1 conv=notrunc status=none
tail -c "$tail_size" "$FIXTURE" |
  dd of="$SOURCE" bs=$MIB seek=$((SIZE - tail_size)) oflag=seek_bytes conv=notrunc status=none
sync

median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{ v[NR] = $1 } END {
  print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ratio() { echo "$1 $2" | awk '{ printf "%.3f", $1 / $2 }'; }

# A round: cp followed by a sync of the copy (the reference: a durable copy, as the store makes),
# one timed store of the same file, then plain cp for context. Every run starts from the same
# state: dirty pages of the earlier runs written out first, the previous file removed just before.
timed_cp() {
  rm -f "$WORK/cp.exe"
  sync
  start=$(now)
  cp "$SOURCE" "$WORK/cp.exe"
  if [ "$1" = synced ]; then sync "$WORK/cp.exe"; fi
  elapsed "$start" "$(now)"
}
timed_store() {
  rm -f "$1"
  sync
  report=$("$DRIVER" store "$SOURCE" "$1" "$PACKAGE")
  field "$report" peak_rss_kib >>"$WORK/rss"
  field "$report" seconds | awk '{ printf "%.3f", $1 }'
}

# One round untimed first: the source's pages in the cache, and the disk past the writes that
# made the source.
timed_cp synced >/dev/null
timed_store "$WORK/configured.exe" >/dev/null
: >"$WORK/rss"

synced_ratios=""
plain_ratios=""
synced_times=""
plain_times=""
store_times=""
for round in $(seq 1 $ROUNDS); do
  cp_synced=$(timed_cp synced)
  store=$(timed_store "$WORK/configured.exe")
  cp_plain=$(timed_cp plain)
  echo "round $round: cp + sync $cp_synced s / configure $store s / cp $cp_plain s"
  synced_ratios="$synced_ratios $(ratio "$store" "$cp_synced")"
  plain_ratios="$plain_ratios $(ratio "$store" "$cp_plain")"
  synced_times="$synced_times $cp_synced"
  plain_times="$plain_times $cp_plain"
  store_times="$store_times $store"
done
rm -f "$WORK/cp.exe"
sync
peak=$(sort -n "$WORK/rss" | tail -n 1)

read_times=""
for round in $(seq 1 $ROUNDS); do
  read_report=$("$DRIVER" read "$WORK/configured.exe" KVConfig "$WORK/package.out")
  cmp -s "$WORK/package.out" "$PACKAGE" || { echo "bench_store.sh: read-back differs" >&2; exit 1; }
  read_times="$read_times $(field "$read_report" seconds | awk '{ printf "%.3f", $1 * 1000 }')"
done

echo
echo "file size                            : $(stat -c %s "$SOURCE") bytes, $ROUNDS rounds"
echo "cp + sync of the copy (median)       : $(echo "$synced_times" | median) s"
echo "configure to .exe (median)           : $(echo "$store_times" | median) s"
echo "cp (median)                          : $(echo "$plain_times" | median) s"
echo "ratio configure / (cp + sync), median: $(echo "$synced_ratios" | median) (goal: at most 1.10)"
echo "ratio configure / cp, median         : $(echo "$plain_ratios" | median) (for context)"
echo "driver peak resident memory          : $peak KiB (goal: under 16384 KiB)"
echo "ReadBlobFromSetup, 1 GiB file        : $(echo "$read_times" | median) ms median of$read_times ms" \
  "(goal: under 10 ms; the package read back matches)"

# Inspection: a 1 GiB executable really signed (the fixture's code, 1 GiB of written bytes after
# its image, signed with a throwaway certificate), given an area and configured.
echo
echo "Signing and configuring a 1 GiB executable for the inspection ..."
rm -f "$WORK/configured.exe" "$WORK/package.out" "$SOURCE"
NOAREA=$BUILD/fixtures/setup-noarea.exe
osslsigncode remove-signature -in "$NOAREA" -out "$WORK/code.exe" >/dev/null
cp "$WORK/code.exe" "$WORK/big.exe"
dd if=/dev/zero bs=$MIB count=$((SIZE / MIB)) status=none >>"$WORK/big.exe"
openssl req -x509 -newkey rsa:2048 -nodes -subj "/CN=KV bench" -days 2 \
  -keyout "$WORK/bench.key" -out "$WORK/bench.pem" 2>/dev/null
osslsigncode sign -certs "$WORK/bench.pem" -key "$WORK/bench.key" -h sha256 \
  -in "$WORK/big.exe" -out "$WORK/signed.exe" >/dev/null
rm -f "$WORK/big.exe"
"$RESERVE" "$WORK/signed.exe" 65536 "$WORK/area.exe" >/dev/null
rm -f "$WORK/signed.exe"
"$DRIVER" store "$WORK/area.exe" "$WORK/inspected.exe" "$PACKAGE" >/dev/null
rm -f "$WORK/area.exe"
INSPECTED=$WORK/inspected.exe
"$READBACK" "$INSPECTED" | grep -q "digest state   matches the content" ||
  { echo "bench_store.sh: the signed 1 GiB file does not inspect as matching" >&2; exit 1; }
inspect_peak=$(/usr/bin/time -f %M "$READBACK" "$INSPECTED" 2>&1 >/dev/null | tail -n 1)
echo "kvreadback on $(stat -c %s "$INSPECTED") bytes against sha256sum, $ROUNDS pairs of runs" \
  "(goal: ratio at most 1.20):"
python3 "$ROOT/bench/paired_runs.py" "$ROUNDS" kvreadback -- "$READBACK" "$INSPECTED" \
  -- sha256sum -- sha256sum "$INSPECTED"
echo "kvreadback peak resident memory    : $inspect_peak KiB (goal: under 16384 KiB)"
