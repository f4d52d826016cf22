#!/bin/sh
# Runs every test: installs what is missing, builds the Linux and the Windows program with their
# tests, and runs both suites (the Windows one under Wine). Exits non-zero on any failure.
set -u
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh || exit 1
status=0
for preset in linux windows; do
  echo "== $preset: configure and build =="
  if ! cmake --preset "$preset" >/dev/null || ! cmake --build --preset "$preset"; then
    echo "== $preset: build FAILED =="
    status=1
    continue
  fi
  echo "== $preset: tests =="
  ctest --preset "$preset" || status=1
done
if [ "$status" -eq 0 ]; then echo "== all tests passed =="; else echo "== TESTS FAILED =="; fi
exit "$status"
