#!/bin/sh
# Runs the button gallery under Wine on a virtual screen, in a prefix of its own per look whose
# registry turns visual styles on or off and font smoothing off (fonts-wine must be installed):
#   button_gallery.sh GALLERY.exe WINE_RUN BUILD_DIR classic|themed 16|24
# The screenshots go to BUILD_DIR/button-gallery-LOOK-DEPTH-*.bmp.
set -eu
gallery=$1 wine_run=$2 look=$4 depth=$5
build_dir=$(cd "$3" && pwd)
case $look in
  classic) theme_active=0 ;;
  themed) theme_active=1 ;;
  *) echo "unknown look $look" >&2; exit 2 ;;
esac
KV_WINEPREFIX=$build_dir/wineprefix-buttons-$look
WINEPREFIX=$KV_WINEPREFIX
export KV_WINEPREFIX WINEPREFIX
sh "$wine_run" reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\ThemeManager' \
  /v ThemeActive /t REG_SZ /d $theme_active /f >/dev/null
sh "$wine_run" reg add 'HKCU\Control Panel\Desktop' /v FontSmoothing /t REG_SZ /d 0 /f \
  >/dev/null
# The registry reaches the disk, and the next session reads it, once the server has ended.
/usr/lib/wine/wineserver -w 2>/dev/null || wineserver -w
exec xvfb-run -a -s "-screen 0 1280x1024x$depth" \
  sh "$wine_run" "$gallery" "$build_dir/button-gallery-$look-$depth"
