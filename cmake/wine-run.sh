#!/bin/sh
# Runs a Windows program under Wine with a throwaway prefix beside the build tree.
# The prefix is created once, under a lock, so parallel test runs do not race on it.
# "wine-run.sh wineserver OPTIONS" runs the prefix's server instead: -w waits until it has ended,
# -p SECONDS keeps it (and Wine's services) running that long after the last program, which
# spares a test of many short calls the start of the services at each one.
set -e
: "${KV_WINEPREFIX:=${KV_BINARY_DIR:-${TMPDIR:-/tmp}/kv}/wineprefix}"
WINEPREFIX=$KV_WINEPREFIX
WINEDEBUG=-all
WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES
WINE=/usr/lib/wine/wine64
[ -x "$WINE" ] || WINE=wine
WINESERVER=/usr/lib/wine/wineserver
[ -x "$WINESERVER" ] || WINESERVER=wineserver
# fonts-wine's fonts (MS Sans Serif, Tahoma, Marlett for the caption buttons) are copied into the
# prefix, where every Wine build finds them, so windows render alike on every machine.
FONTS=/usr/share/wine/fonts
if [ ! -f "$WINEPREFIX/system.reg" ] || [ ! -f "$WINEPREFIX/drive_c/windows/Fonts/marlett.ttf" ]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      "$WINE" wineboot --init >/dev/null 2>&1 || true
      "$WINESERVER" -w 2>/dev/null || true
    fi
    if [ -d "$FONTS" ] && [ ! -f "$WINEPREFIX/drive_c/windows/Fonts/marlett.ttf" ]; then
      mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
      cp "$FONTS"/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
    fi
  ) 9>"$WINEPREFIX.lock"
fi
[ "$1" != wineserver ] || { shift; exec "$WINESERVER" "$@"; }
exec "$WINE" "$@"
