#!/usr/bin/env bash
# Checks the packages that CPack made in the native and windows-i686 builds,
# then unpacks the Debian package into a private root (the machine's package
# manager is never involved), runs the Pelmode it holds against a private X
# server and reads its manual page.
# Usage: packages_test.sh BUILDS_DIR SOURCE_DIR WORK_DIR
set -uo pipefail

BUILDS=$1
SOURCE_DIR=$2
WORK=$3
PELMODE=("$WORK/root/usr/bin/Pelmode")
source "$(dirname "$0")/lib/expect.sh"

deb=$(ls "$BUILDS"/native/packages/pelmode_*.deb 2>/dev/null)
zip=$(ls "$BUILDS"/windows-i686/packages/pelmode-*.zip 2>/dev/null)
if [[ -z $deb || -z $zip ]]; then
  echo "Packages missing: run cpack in build/native and build/windows-i686 first"
  exit 1
fi

rm -rf "$WORK/prefix"
cmake --install "$BUILDS/native" --prefix "$WORK/prefix" >/dev/null
report "cmake --install puts the program and its manual page in place" \
  "$(cd "$WORK/prefix" && find . -type f | sort |
    diff <(printf './bin/Pelmode\n./share/man/man1/Pelmode.1.gz\n') -)"

files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }')
report "Debian package holds the program and its manual page" \
  "$(diff <(printf './usr/bin/Pelmode\n./usr/share/man/man1/Pelmode.1.gz\n') <(echo "$files"))"
depends=$(dpkg-deb -f "$deb" Depends)
report "Debian package depends on what the program links" \
  "$([[ $depends == *libc6* && $depends == *libxcb1* && $depends == *libxcb-randr0* ]] ||
    echo "Depends: $depends")"

rm -rf "$WORK/zip" && mkdir -p "$WORK/zip" && unzip -q "$zip" -d "$WORK/zip"
report "zip holds the 32-bit executable and the README" \
  "$(cd "$WORK/zip" && find . -type f | sort | diff <(printf '%s\n' ./*/Pelmode.exe ./*/README.md) -)$(
    i686-w64-mingw32-objdump -f "$WORK"/zip/*/Pelmode.exe | grep -q 'file format pei-i386' ||
      echo 'not a PE32 i386 image')$(cmp "$WORK"/zip/*/README.md "$SOURCE_DIR/README.md")"

rm -rf "$WORK/root" && dpkg-deb -x "$deb" "$WORK/root"
report "the packaged program links libstdc++ statically, as the README says" \
  "$(objdump -p "${PELMODE[0]}" | grep -E 'NEEDED.*libstdc\+\+')"
start_xvfb "$WORK/xvfb" || exit 1
run_pelmode 1024 768
expect "the packaged Pelmode changes the mode" 0 '1280x1024    0Hz' 1024x768 "" \
  $'screen 1024x768\nscreen 1024x768+0+0 59.92*'
xserver_stop
manual=$(MANPAGER=cat MANWIDTH=80 man -l "$WORK/root/usr/share/man/man1/Pelmode.1.gz" 2>&1)
report "the manual page reads" \
  "$(for heading in 'Pelmode - switch the display' 'EXIT STATUS' 'Wayland session'; do
    grep -q "$heading" <<<"$manual" || echo "no '$heading' in: ${manual:0:200}"
  done)"
summary
