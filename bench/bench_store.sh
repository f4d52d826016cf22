#!/bin/sh
# Store benchmark, run by hand (not by CI): configures a 1 GiB setup executable whose data area is
# near its end and compares the time with cp on the same file in the same run; also reports the
# driver's peak resident memory and the time of reading the package back from the 1 GiB output.
# Each configure run is paired with a cp run just before it; the figures are medians. A target
# named .msi is configured too: its source is an executable, so its checksum is repaired as well,
# but the ratio shows the copy alone against cp. Last, kvreadback inspects a 1 GiB signed and
# configured executable (one pass of its Authenticode digest) in turns with sha256sum on the same
# file.
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

# One timed cp, then one timed store of the same file to target: a pair, from the same state each
# (dirty pages of the earlier runs written out first, the file of the previous round's run
# removed just before, as cp's own copy is).
# cp, or cp followed by a flush of the copy to the disk (what the store does before it renames
# its copy into place).
timed_cp() {
  rm -f "$WORK/cp.exe"
  sync
  start=$(now)
  cp "$SOURCE" "$WORK/cp.exe"
  if [ "$1" = flushed ]; then sync "$WORK/cp.exe"; fi
  elapsed "$start" "$(now)"
}
timed_store() {
  rm -f "$1"
  sync
  report=$("$DRIVER" store "$SOURCE" "$1" "$PACKAGE")
  field "$report" peak_rss_kib >>"$WORK/rss"
  field "$report" seconds | awk '{ printf "%.3f", $1 }'
}

exe_ratios=""
msi_ratios=""
flushed_ratios=""
cp_times=""
flushed_times=""
exe_times=""
msi_times=""
for round in $(seq 1 $ROUNDS); do
  cp_exe=$(timed_cp plain)
  store_exe=$(timed_store "$WORK/configured.exe")
  cp_msi=$(timed_cp plain)
  store_msi=$(timed_store "$WORK/configured.msi")
  cp_flushed=$(timed_cp flushed)
  echo "pair $round: cp $cp_exe s / .exe $store_exe s;  cp $cp_msi s / .msi $store_msi s;" \
    " cp+flush $cp_flushed s"
  exe_ratios="$exe_ratios $(ratio "$store_exe" "$cp_exe")"
  msi_ratios="$msi_ratios $(ratio "$store_msi" "$cp_msi")"
  flushed_ratios="$flushed_ratios $(ratio "$store_exe" "$cp_flushed")"
  cp_times="$cp_times $cp_exe $cp_msi"
  flushed_times="$flushed_times $cp_flushed"
  exe_times="$exe_times $store_exe"
  msi_times="$msi_times $store_msi"
done
rm -f "$WORK/cp.exe" "$WORK/configured.msi"
sync
peak=$(sort -n "$WORK/rss" | tail -n 1)

read_times=""
for round in $(seq 1 $ROUNDS); do
  read_report=$("$DRIVER" read "$WORK/configured.exe" KVConfig "$WORK/package.out")
  cmp -s "$WORK/package.out" "$PACKAGE" || { echo "bench_store.sh: read-back differs" >&2; exit 1; }
  read_times="$read_times $(field "$read_report" seconds | awk '{ printf "%.3f", $1 * 1000 }')"
done

echo
echo "file size                          : $(stat -c %s "$SOURCE") bytes, $ROUNDS pairs of runs"
echo "cp (median)                        : $(echo "$cp_times" | median) s"
echo "configure to .exe (median)         : $(echo "$exe_times" | median) s"
echo "configure to .msi (median)         : $(echo "$msi_times" | median) s"
echo "ratio .exe / cp (median of pairs)  : $(echo "$exe_ratios" | median) (goal: at most 1.10)"
echo "ratio .msi / cp (median of pairs)  : $(echo "$msi_ratios" | median) (goal: at most 1.05)"
echo "cp + flush of the copy (median)    : $(echo "$flushed_times" | median) s;" \
  "ratio .exe / cp + flush: $(echo "$flushed_ratios" | median)"
echo "driver peak resident memory        : $peak KiB (goal: under 16384 KiB)"
echo "ReadBlobFromSetup, 1 GiB file      : $(echo "$read_times" | median) ms median of$read_times ms" \
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
