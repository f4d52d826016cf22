#!/bin/sh
# Builds the libFuzzer targets and runs each for the given number of seconds (default 20),
# starting from the seed inputs and the regression inputs of earlier findings.
#   sh scripts/fuzz.sh            smoke run, as the test command does
#   sh scripts/fuzz.sh 600        a release run: ten minutes per target
# A finding stops that target with a non-zero status; its input is left in build/fuzz/findings/.
set -u
cd "$(dirname "$0")/.."
seconds=${1:-20}
cmake --preset fuzz >/dev/null || exit 1
cmake --build --preset fuzz --target kv_fuzzers || exit 1
out=build/fuzz
rm -rf "$out/seeds"
"$out/tests/fuzz/kv_fuzz_seeds" "$out/seeds" || exit 1
mkdir -p "$out/findings"
status=0
for fuzzer in "$out"/tests/fuzz/Fuzz*; do
  name=$(basename "$fuzzer")
  corpus="$out/corpus/$name"
  mkdir -p "$corpus"
  dirs="$corpus $out/seeds/$name"
  [ -d "tests/fuzz/regressions/$name" ] && dirs="$dirs tests/fuzz/regressions/$name"
  # Fixtures of the regular build are real files the readers meet.
  [ -d build/linux/fixtures ] && case "$name" in
    FuzzPeResources|FuzzPeChecksum|FuzzConfigArea|FuzzCompoundFile|FuzzAuthenticode) dirs="$dirs build/linux/fixtures" ;;
  esac
  [ -d build/linux/tests/config/signed ] && case "$name" in
    FuzzPackage) dirs="$dirs build/linux/tests/config/signed" ;;
  esac
  echo "== $name: $seconds s =="
  # shellcheck disable=SC2086
  if "$fuzzer" -max_total_time="$seconds" -rss_limit_mb=2048 -max_len=1100000 -print_final_stats=1 \
      -artifact_prefix="$out/findings/$name-" $dirs >"$out/$name.log" 2>&1; then
    grep -E '^#[0-9]+[[:space:]]+DONE' "$out/$name.log" | tail -1
    grep -E 'stat::number_of_executed_units|stat::peak_rss_mb' "$out/$name.log"
  else
    echo "$name FAILED:"
    tail -40 "$out/$name.log"
    status=1
  fi
done
exit $status
