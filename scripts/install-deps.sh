#!/bin/sh
# Installs every Debian package the build, the tests and the demo need. Safe to run again:
# it only calls apt-get when something is missing.
set -eu
PACKAGES="cmake ninja-build g++ clang clang-format libclang-rt-14-dev acl
  g++-mingw-w64-x86-64-posix wine wine64 xvfb imagemagick
  googletest libgtest-dev libgmock-dev libssl-dev libcurl4-openssl-dev openssl
  osslsigncode wixl msitools python3 python3-pefile xxd fonts-wine dpkg-dev file locales"
missing=""
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
# The window tests run the program under a Slovak and a Czech locale.
locales() {
  for l in sk_SK cs_CZ; do
    locale -a 2>/dev/null | grep -qi "^$l.utf-\?8$" || localedef -i "$l" -f UTF-8 "$l.UTF-8" || return 1
  done
}
[ -z "$missing" ] && { locales; exit $?; }
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
echo "Installing:$missing"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing
locales
