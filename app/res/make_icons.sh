#!/bin/sh
# Rebuilds the committed .ico files of the program from their drawings (run after editing one).
set -eu
cd "$(dirname "$0")"
for name in XOPEN XSAVE XWEB KVSetupConfigurator; do
  python3 make_icons.py "$name.txt" "$name.ico"
done
