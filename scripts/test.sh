#!/bin/sh
# Runs every test: installs what is missing; builds and runs the Linux suite, the Windows suite
# (under Wine) and the Linux suite again under AddressSanitizer and UndefinedBehaviorSanitizer;
# then gives each fuzz target a short run. Exits non-zero on any failure.
#   KV_FUZZ_SECONDS=N   seconds per fuzz target (default 20; 0 skips fuzzing)
set -u
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh || exit 1
status=0
for preset in linux windows asan; do
  echo "== $preset: configure and build =="
  if ! cmake --preset "$preset" >/dev/null || ! cmake --build --preset "$preset"; then
    echo "== $preset: build FAILED =="
    status=1
    continue
  fi
  echo "== $preset: tests =="
  ctest --preset "$preset" || status=1
done
fuzz_seconds=${KV_FUZZ_SECONDS:-20}
if [ "$fuzz_seconds" -gt 0 ]; then
  echo "== fuzz: $fuzz_seconds s per target =="
  sh scripts/fuzz.sh "$fuzz_seconds" || status=1
fi
if [ "$status" -eq 0 ]; then echo "== all tests passed =="; else echo "== TESTS FAILED =="; fi
exit "$status"
