#!/bin/sh
# Runs a Windows test program under Wine on a virtual X display of its own:
#   run_on_display.sh DEPTH WINE_RUN_SH PROGRAM.exe [ARGUMENTS...]
# The display has 1280 x 1024 pixels at DEPTH bits. The Wine server of the prefix is waited for
# before (it may still hold another display) and after the run (while the display still exists).
set -u
depth=$1
wine_run=$2
shift 2
KV_UI_PREFIX=${KV_WINEPREFIX:-${KV_BINARY_DIR:-${TMPDIR:-/tmp}/kv}/wineprefix}
KV_UI_SERVER=/usr/lib/wine/wineserver
[ -x "$KV_UI_SERVER" ] || KV_UI_SERVER=wineserver
export KV_UI_PREFIX KV_UI_SERVER
if [ -f "$KV_UI_PREFIX/system.reg" ]; then
  WINEPREFIX=$KV_UI_PREFIX "$KV_UI_SERVER" -w
fi
exec xvfb-run -a -s "-screen 0 1280x1024x$depth" sh -c '
  sh "$0" "$@"
  status=$?
  WINEPREFIX=$KV_UI_PREFIX "$KV_UI_SERVER" -w
  exit $status' "$wine_run" "$@"
