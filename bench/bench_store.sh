#!/bin/sh
# Store benchmark, run by hand (not by CI): configures a 1 GiB setup executable whose data area is
# near its end and compares the time with a durable copy (cp, then sync of the copy) of the same
# file in the same run, and with plain cp for context; also reports the driver's peak resident
# memory and the time of reading the package back from the 1 GiB output. Each configure run is
# paired with the copies of its round; the figures are medians. Last, kvreadback inspects a 1 GiB
# signed and configured executable (one pass of its Authenticode digest) in turns with sha256sum
# on the same file. Then the speed of the PE checksum's pass over the cached 1 GiB file against
# cat. Last, on XFS with reflink in a loop-mounted image (as root, where mounting is allowed;
# skipped with a message otherwise): one configure against cp --reflink=always and sync, and a
# list of 100 customers from one 1 GiB source (kvsetupconfigurator -list:) against a shell loop of
# 100 cp --reflink=always followed by one sync, with the new blocks each used.
#
# Usage: bench/bench_store.sh [BUILD_DIR]
#   BUILD_DIR defaults to build/linux; it must hold the targets storebench, kvreadback, reservearea,
#   kvsetupconfigurator and kv_fixtures:
#   cmake --build --preset linux --target storebench kvreadback reservearea kvsetupconfigurator \
#     kv_fixtures
#   ONLY=list runs the XFS part alone; LIST_ROUNDS (default 3) sets its rounds.
# Needs osslsigncode and openssl, xfsprogs for the XFS part, and about 6 GiB of free space in
# TMPDIR (default /tmp).
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build/linux}
DRIVER=$BUILD/tools/storebench/storebench
READBACK=$BUILD/tools/readback/kvreadback
RESERVE=$BUILD/tools/reservearea/reservearea
PROGRAM=$BUILD/app/kvsetupconfigurator
FIXTURE=$BUILD/fixtures/setup.exe
PACKAGE=$ROOT/tests/fixtures/legacy-package.txt
ROUNDS=${ROUNDS:-5}
SIZE=1073741824      # 1 GiB
HEAD_SIZE=1024       # MZ and PE headers of the fixture
MIB=1048576

for f in "$DRIVER" "$READBACK" "$RESERVE" "$PROGRAM" "$FIXTURE" "$PACKAGE"; do
  [ -e "$f" ] || { echo "bench_store.sh: missing $f (build the targets named above)" >&2; exit 1; }
done

WORK=$(mktemp -d "${TMPDIR:-/tmp}/kv-bench.XXXXXX")
MOUNTED=""
cleanup() {
  if [ -n "$MOUNTED" ]; then umount "$MOUNTED" || true; fi
  rm -rf "$WORK"
}
trap cleanup EXIT INT TERM
SOURCE=$WORK/setup-1gib.exe

now() { date +%s.%N; }
elapsed() { echo "$1 $2" | awk '{ printf "%.3f", $2 - $1 }'; }
field() { echo "$1" | tr ' ' '\n' | sed -n "s/^$2=//p"; }
smaller() { awk -v a="$1" -v b="$2" 'BEGIN { print (a == "" || b + 0 < a + 0) ? b : a }'; }
median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{ v[NR] = $1 } END {
  print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ratio() { echo "$1 $2" | awk '{ printf "%.3f", $1 / $2 }'; }

# A setup source: the fixture's headers at the start, its tail (the signature with the data area)
# at the end, and 1 GiB of written (not sparse) bytes between them.
make_source() {
  fixture_size=$(stat -c %s "$FIXTURE")
  tail_size=$((fixture_size - HEAD_SIZE))
  dd if=/dev/zero of="$1" bs=$MIB count=$((SIZE / MIB)) status=none
  dd if="$FIXTURE" of="$1" bs=$HEAD_SIZE count=1 conv=notrunc status=none
  tail -c "$tail_size" "$FIXTURE" |
    dd of="$1" bs=$MIB seek=$((SIZE - tail_size)) oflag=seek_bytes conv=notrunc status=none
  sync
}

# KiB in use on the file system of a folder.
used_kib() { df --output=used -k "$1" | tail -n 1 | tr -d ' '; }

# On XFS with reflink: one configure against a reflinked copy, and a list of 100 customers against
# a shell loop of 100 reflinked copies and one sync. Every run starts with the outputs of the
# earlier one removed and the file system synced; the list run's new blocks are measured with df.
list_rows() {
  echo
  echo "XFS with reflink, loop-mounted image:"
  if ! command -v mkfs.xfs >/dev/null; then
    echo "  skipped: mkfs.xfs is missing (apt-get install xfsprogs)"
    return
  fi
  image=$WORK/xfs.img
  xfs=$WORK/xfs
  truncate -s 8G "$image"
  mkfs.xfs -q -m reflink=1 "$image"
  mkdir -p "$xfs"
  if ! mount -o loop "$image" "$xfs" 2>/dev/null; then
    echo "  skipped: mounting a loop image is not allowed here (run as root where it is)"
    return
  fi
  MOUNTED=$xfs
  mkdir "$xfs/out"
  make_source "$xfs/setup.exe"
  customers=100
  echo out,cf >"$xfs/list.csv"
  for i in $(seq 1 $customers); do echo "out/customer-$i.exe,$PACKAGE" >>"$xfs/list.csv"; done
  clear_outputs() { rm -f "$xfs"/out/* "$xfs/one.exe"; sync; }
  # Warm: the source in the cache, one reflink and one configure done.
  cp --reflink=always "$xfs/setup.exe" "$xfs/one.exe"
  "$DRIVER" store "$xfs/setup.exe" "$xfs/one.exe" "$PACKAGE" >/dev/null
  one_ratios=""
  one_times=""
  reflink_times=""
  list_ratios=""
  list_times=""
  loop_times=""
  blocks=""
  for round in $(seq 1 "${LIST_ROUNDS:-3}"); do
    clear_outputs
    start=$(now)
    cp --reflink=always "$xfs/setup.exe" "$xfs/one.exe"
    sync "$xfs/one.exe"
    reflink=$(elapsed "$start" "$(now)")
    clear_outputs
    one=$(field "$("$DRIVER" store "$xfs/setup.exe" "$xfs/one.exe" "$PACKAGE")" seconds)
    clear_outputs
    start=$(now)
    for i in $(seq 1 $customers); do
      cp --reflink=always "$xfs/setup.exe" "$xfs/out/customer-$i.exe"
    done
    sync
    loop=$(elapsed "$start" "$(now)")
    clear_outputs
    before=$(used_kib "$xfs")
    start=$(now)
    /usr/bin/time -f %M -o "$WORK/list-rss" "$PROGRAM" -src:"$xfs/setup.exe" \
      -list:"$xfs/list.csv" >"$WORK/list.log"
    list=$(elapsed "$start" "$(now)")
    sync
    new_kib=$(($(used_kib "$xfs") - before))
    grep -q "^$customers rows: $customers written, 0 failed" "$WORK/list.log" ||
      { echo "bench_store.sh: the list run failed:" >&2; tail -n 3 "$WORK/list.log" >&2; exit 1; }
    echo "  round $round: configure $one s / cp --reflink + sync $reflink s;" \
      "list of $customers $list s / loop of cp --reflink + sync $loop s; list's new blocks" \
      "$new_kib KiB"
    one_ratios="$one_ratios $(ratio "$one" "$reflink")"
    one_times="$one_times $one"
    reflink_times="$reflink_times $reflink"
    list_ratios="$list_ratios $(ratio "$list" "$loop")"
    list_times="$list_times $list"
    loop_times="$loop_times $loop"
    blocks="$blocks $new_kib"
  done
  clear_outputs
  echo "  configure, 1 GiB (median)            : $(echo "$one_times" | median) s"
  echo "  cp --reflink=always + sync (median)  : $(echo "$reflink_times" | median) s"
  echo "  ratio, median                        : $(echo "$one_ratios" | median) (goal: at most 5)"
  echo "  list of $customers customers (median)       : $(echo "$list_times" | median) s"
  echo "  loop of $customers reflinks + sync (median) : $(echo "$loop_times" | median) s"
  echo "  ratio, median                        : $(echo "$list_ratios" | median) (goal: at most 2)"
  new_median=$(echo "$blocks" | median)
  echo "  list's new blocks (median)           : $new_median KiB =" \
    "$(echo "$new_median" | awk -v n=$customers '{ printf "%.3f", 100 * $1 / (n * 1048576) }') %" \
    "of $customers GiB (goal: under 1 %)"
  echo "  list's peak resident memory          : $(cat "$WORK/list-rss") KiB (goal: under 16384 KiB)"
}

if [ "${ONLY:-}" = list ]; then
  list_rows
  exit 0
fi

echo "Writing a 1 GiB setup executable in $WORK ..."
make_source "$SOURCE"

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

# The checksum's pass over the cached source against cat reading it, in turns.
echo
make_source "$SOURCE"
echo "PE checksum pass over $(stat -c %s "$SOURCE") cached bytes against cat, $ROUNDS pairs of runs:"
python3 "$ROOT/bench/paired_runs.py" "$ROUNDS" "storebench sum" -- "$DRIVER" sum "$SOURCE" \
  -- "cat >/dev/null" -- sh -c 'cat "$1" >/dev/null' - "$SOURCE"
rm -f "$SOURCE"

list_rows
