#!/bin/sh
# Checks the configured copies the setup file tests left behind: every one must still pass
# Authenticode verification against the fixtures' throwaway CA, and an executable must not be
# reported with an invalid PE checksum.
set -u
dir=$1
ca=$2
status=0
count=0
for file in "$dir"/setup*; do
  [ -f "$file" ] || continue
  count=$((count + 1))
  output=$(osslsigncode verify -CAfile "$ca" -in "$file" 2>&1)
  rc=$?
  if [ $rc -ne 0 ] || echo "$output" | grep -qi -e "invalid PE checksum" -e "MISMATCH"; then
    echo "FAILED: $file"
    echo "$output"
    status=1
  else
    echo "verified: $(basename "$file")"
  fi
done
if [ $count -lt 3 ]; then
  echo "expected at least 3 configured copies in $dir, found $count"
  status=1
fi
exit $status
