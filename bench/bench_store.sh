#!/bin/sh
# Store benchmark, run by hand (not by CI): configures a 1 GiB setup executable whose data area is
# near its end and compares the time with cp on the same file in the same run; also reports the
# driver's peak resident memory and the time of reading the package back from the 1 GiB output.
# To show where the time goes it also stores to a target named .msi, which skips the PE checksum
# repair (a second and third pass over the file).
#
# Usage: bench/bench_store.sh [BUILD_DIR]
#   BUILD_DIR defaults to build/linux; it must hold the targets storebench and kv_fixtures:
#   cmake --build --preset linux --target storebench kv_fixtures
# Needs about 3 GiB of free space in TMPDIR (default /tmp).
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build/linux}
DRIVER=$BUILD/tools/storebench/storebench
FIXTURE=$BUILD/fixtures/setup.exe
PACKAGE=$ROOT/tests/fixtures/legacy-package.txt
ROUNDS=5
SIZE=1073741824      # 1 GiB
HEAD_SIZE=1024       # MZ and PE headers of the fixture
MIB=1048576

for f in "$DRIVER" "$FIXTURE" "$PACKAGE"; do
  [ -e "$f" ] || { echo "bench_store.sh: missing $f (build storebench and kv_fixtures)" >&2; exit 1; }
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

best_cp=""
best_store=""
best_copy_only=""
peak=0
for round in $(seq 1 $ROUNDS); do
  rm -f "$WORK/cp.exe" "$WORK/configured.exe" "$WORK/configured.msi"
  sync
  start=$(now)
  cp "$SOURCE" "$WORK/cp.exe"
  cp_time=$(elapsed "$start" "$(now)")
  sync
  report=$("$DRIVER" store "$SOURCE" "$WORK/configured.exe" "$PACKAGE")
  store_time=$(field "$report" seconds | awk '{ printf "%.3f", $1 }')
  rss=$(field "$report" peak_rss_kib)
  if [ "$rss" -gt "$peak" ]; then peak=$rss; fi
  sync
  report=$("$DRIVER" store "$SOURCE" "$WORK/configured.msi" "$PACKAGE")
  copy_only_time=$(field "$report" seconds | awk '{ printf "%.3f", $1 }')
  rm -f "$WORK/configured.msi"
  echo "round $round: cp $cp_time s, store $store_time s (to .msi: $copy_only_time s)," \
    "driver peak memory $rss KiB"
  best_cp=$(smaller "$best_cp" "$cp_time")
  best_store=$(smaller "$best_store" "$store_time")
  best_copy_only=$(smaller "$best_copy_only" "$copy_only_time")
done
sync

read_times=""
best_read=""
for round in $(seq 1 $ROUNDS); do
  read_report=$("$DRIVER" read "$WORK/configured.exe" KVConfig "$WORK/package.out")
  read_ms=$(field "$read_report" seconds | awk '{ printf "%.3f", $1 * 1000 }')
  cmp -s "$WORK/package.out" "$PACKAGE" || { echo "bench_store.sh: read-back differs" >&2; exit 1; }
  read_times="$read_times $read_ms"
  best_read=$(smaller "$best_read" "$read_ms")
done

echo
echo "file size                    : $(stat -c %s "$SOURCE") bytes"
echo "cp (best of $ROUNDS)              : $best_cp s"
echo "StoreConfigToSetup (best of $ROUNDS): $best_store s"
echo "ratio store / cp             : $(echo "$best_store $best_cp" | awk '{ printf "%.3f", $1 / $2 }') (goal: at most 1.15)"
echo "store to a .msi name (no PE checksum step): $best_copy_only s," \
  "ratio to cp $(echo "$best_copy_only $best_cp" | awk '{ printf "%.3f", $1 / $2 }')"
echo "driver peak resident memory  : $peak KiB (goal: under 16384 KiB)"
echo "ReadBlobFromSetup, 1 GiB file: $best_read ms, best of$read_times ms" \
  "(goal: under 10 ms; the package read back matches)"
