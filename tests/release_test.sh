#!/usr/bin/env bash
# Checks what the release builds left: the 32-bit Windows executable without
# running it (32-bit code cannot run here): image kind, imports and every
# resource it carries; then the packages CPack made, the Debian one unpacked
# into a private root (the machine's package manager is never involved), its
# Pelmode run against a private X server and its manual page read.
# Usage: release_test.sh BUILDS_DIR SOURCE_DIR WORK_DIR
set -uo pipefail

BUILDS=$1
SOURCE_DIR=$2
WORK=$3
EXE=$BUILDS/windows-i686/Pelmode/Pelmode.exe
PELMODE=("$WORK/root/usr/bin/pelmode")
# shellcheck source=tests/lib/expect.sh
source "$(dirname "$0")/lib/expect.sh"

deb=$(ls "$BUILDS"/native/packages/pelmode_*.deb 2>/dev/null)
zip=$(ls "$BUILDS"/windows-i686/packages/pelmode-*.zip 2>/dev/null)
if [[ ! -f $EXE || -z $deb || -z $zip ]]; then
  echo "Build the windows-i686 and native presets and run cpack in both first"
  exit 1
fi

objdump=i686-w64-mingw32-objdump
headers=$($objdump -p "$EXE")
header() { awk -v key="$1" '$1 == key { print $2; exit }' <<<"$headers"; }

report "console subsystem 6.0" \
  "$([[ $(header Subsystem) == 00000003 && $(header MajorSubsystemVersion) == 6 &&
    $(header MinorSubsystemVersion) == 0 ]] || grep -E 'Subsystem' <<<"$headers")"
imports=$(awk '/DLL Name:/ { print toupper($3) }' <<<"$headers" | sort | tr '\n' ' ')
report "imports only system DLLs" \
  "$([[ $imports == "KERNEL32.DLL MSVCRT.DLL SHELL32.DLL USER32.DLL " ]] || echo "imports: $imports")"

resources=$(wrestool -l "$EXE" | sed 's/ \[.*//')
expected_resources=$(
  for n in $(seq 10); do echo "--type=3 --name=$n --language=1033"; done
  echo "--type=14 --name=101 --language=1033"
  echo "--type=16 --name=1 --language=1033"
  echo "--type=24 --name=1 --language=1033"
)
report "ten icons, one icon group, a version, one manifest, nothing else" \
  "$([[ $resources == "$expected_resources" ]] || printf 'resources:\n%s\n' "$resources")"

# The group lists its images as (width, height, colour count, bit depth);
# each image is a bitmap (a 40-byte header) of the listed depth, but the
# 128-pixel one, a PNG (signature, IHDR, width 128).
read -rd '' -a group < <(wrestool -x --raw --type=14 --name=101 "$EXE" | od -An -tu1 -v)
entries="" problems=""
for ((i = 0, e = 6; i < group[4]; i++, e += 14)); do
  entries+="${group[e]}x${group[e + 1]}/${group[e + 2]}/${group[e + 6]} "
  id=$((group[e + 12] + 256 * group[e + 13]))
  read -rd '' -a image < <(wrestool -x --raw --type=3 --name="$id" "$EXE" | head -c 20 | od -An -tu1)
  if ((group[e] == 128)); then
    [[ "${image[*]:0:4} ${image[*]:12:8}" == "137 80 78 71 73 72 68 82 0 0 0 128" ]]
  else
    [[ ${image[0]} == 40 && ${image[14]} == "${group[e + 6]}" ]]
  fi || problems+="image $id starts ${image[*]}"$'\n'
done
report "icon group IDI_ICON1 lists the ten images in order" "$([[ $entries == "48x48/16/4 32x32/16/4 \
16x16/16/4 48x48/0/8 32x32/0/8 16x16/0/8 128x128/0/32 48x48/0/32 32x32/0/32 16x16/0/32 " ]] || echo "$entries")"
report "every image is a bitmap of its listed depth, the large one a PNG" "$problems"

# The fixed part holds the version as numbers (after the 0xFEEF04BD
# signature), the strings hold it as text.
version=$(sed -n 's/^project(Pelmode VERSION \([0-9.]*\).*/\1/p' "$SOURCE_DIR/CMakeLists.txt")
IFS=. read -r major minor patch <<<"$version"
info=$(wrestool -x --raw --type=16 --name=1 "$EXE" | strings -el | paste -sd '|')
read -ra fixed < <(wrestool -x --raw --type=16 --name=1 "$EXE" | od -An -tu2 -w1024 -v |
  tr -s ' ' | grep -o '1213 65263 0 1 [0-9 ]*')
report "version resource: $version, described, named Pelmode" \
  "$([[ "${fixed[*]:4:4}" == "$minor $major 0 $patch" ]] ||
    echo "fixed version words: ${fixed[*]:4:4}")$(
  wrestool -x --raw --type=16 --name=1 "$EXE" | tail -c 4 | od -An -tx1 | grep -q ' 09 04 b0 04' ||
    echo 'translation not English (United States) in UTF-16')$(
  for pair in "FileVersion|$version" "ProductVersion|$version" "ProductName|Pelmode" \
    "FileDescription|Pelmode: switches" "OriginalFilename|Pelmode.exe"; do
    [[ "|$info" == *"|$pair"* ]] || echo "no $pair in $info"
  done)"

manifest=$(wrestool -x --raw --type=24 --name=1 "$EXE")
report "manifest as written, asking for no elevation" \
  "$(cmp -s <(printf '%s\n' "$manifest") "$SOURCE_DIR/Pelmode/Pelmode.manifest" || echo 'manifest differs')$(
    grep -q 'manifestVersion="1.0"' <<<"$manifest" || echo 'no version 1.0')$(
    grep -q '<requestedExecutionLevel level="asInvoker" uiAccess="false"/>' <<<"$manifest" ||
      echo 'no asInvoker')"

python3 "$SOURCE_DIR/tools/make_icon.py" "$WORK/drawn.ico"
report "the icon is what tools/make_icon.py draws" \
  "$(cmp -s "$WORK/drawn.ico" "$SOURCE_DIR/Pelmode/Pelmode.ico" || echo 'it differs: regenerate it')"

files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { $1 = $2 = $3 = $4 = $5 = ""; print substr($0, 6) }')
report "Debian package holds the program and its page under both names, and its documents" \
  "$(diff <(printf '%s\n' ./usr/bin/Pelmode './usr/bin/pelmode -> Pelmode' \
    './usr/share/bash-completion/completions/Pelmode -> pelmode' \
    ./usr/share/bash-completion/completions/pelmode ./usr/share/doc/pelmode/changelog.Debian.gz ./usr/share/doc/pelmode/copyright \
    ./usr/share/lintian/overrides/pelmode ./usr/share/man/man1/Pelmode.1.gz \
    './usr/share/man/man1/pelmode.1.gz -> Pelmode.1.gz') <(echo "$files"))"
report "lintian finds no error or warning in the Debian package" \
  "$(lintian --fail-on error,warning "$deb" 2>&1 | grep -v '^running with root')"
report "the manual page and the scripts lint clean" "$(mandoc -T lint "$SOURCE_DIR/Pelmode/Pelmode.1")$(
  cd "$SOURCE_DIR" && shellcheck -x scripts/run scripts/test scripts/lib/*.sh .ci/run bench/run \
    tests/*.sh tests/lib/*.sh packaging/bash-completion tools/test_share)"
depends=$(dpkg-deb -f "$deb" Depends)
report "Debian package is a utility and depends on what the program links, libc6 once" \
  "$([[ $(dpkg-deb -f "$deb" Section) == utils ]] || echo "Section: $(dpkg-deb -f "$deb" Section)")$([[ $depends == *libc6* && $depends != *libc6*libc6* && $depends == *libxcb1* && $depends == *libxcb-randr0* &&
    $depends == *libwayland-client0* && $depends == *libsystemd0* ]] ||
    echo "Depends: $depends")$(readelf -V "$BUILDS/native/Pelmode/Pelmode" | grep -q GLIBC_ABI_DT_RELR &&
    [[ $depends != *'libc6 (>= 2.36)'* ]] && echo "packed relocations need libc6 2.36: $depends")"

rm -rf "$WORK/zip" && mkdir -p "$WORK/zip" && unzip -q "$zip" -d "$WORK/zip"
report "zip holds the 32-bit executable, README.txt and LICENSE.txt" \
  "$(cd "$WORK/zip" && find . -type f | sort |
    diff <(printf '%s\n' ./*/LICENSE.txt ./*/Pelmode.exe ./*/README.txt) -)$(
    $objdump -f "$WORK"/zip/*/Pelmode.exe | grep -q 'file format pei-i386' || echo 'not a PE32 i386 image')$(
    cmp <(tr -d '\r' <"$WORK"/zip/*/LICENSE.txt) "$SOURCE_DIR/LICENSE")"
report "the Windows texts are plain ASCII with CRLF line ends" \
  "$(for text in "$WORK"/zip/*/*.txt; do
    LC_ALL=C grep -n '[^[:print:][:space:]]' "$text"
    [[ $(grep -c $'\r$' "$text") == $(wc -l <"$text") && $(tail -c 2 "$text" | od -An -c) == *'\r  \n' ]] ||
      echo "$text: not every line ends in CRLF"
  done)"

rm -rf "$WORK/root" && dpkg-deb -x "$deb" "$WORK/root"
report "the packaged program needs only the C library; the rest is loaded by runtime names" \
  "$(objdump -p "${PELMODE[0]}" | awk '/NEEDED/ && $2 != "libc.so.6"')$(readelf -dlW "${PELMODE[0]}" |
    grep -c 'BIND_NOW\|GNU_RELRO' | grep -qx 2 || echo 'not hardened: no relro or bindnow')$(
    strings -a "${PELMODE[0]}" | grep -oE 'lib[a-z0-9_+-]+\.so($|[^.a-z0-9_+-])')"
# Each row: the words typed | the completions offered.
report "bash completes the options by either name, none after --" "$(for name in Pelmode pelmode; do
  bash -c 'source "$1"; for row in "--|--help --version --list --try --back --output --" "--o|--output" "1024 --t|--try" "-- -|"; do
    read -ra COMP_WORDS <<<"$2 ${row%|*}"; COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); COMPREPLY=()
    _pelmode "$2"; [[ "${COMPREPLY[*]}" == "${row#*|}" ]] || echo "$2 ${row%|*}: offered ${COMPREPLY[*]}"
  done' _ "$WORK/root/usr/share/bash-completion/completions/$name" "$name"
done)"
start_xvfb "$WORK/xvfb" || exit 1
run_pelmode 1024 768
expect "the packaged Pelmode changes the mode" 0 '1280x1024    0Hz' 1024x768 "" \
  $'screen 1024x768\nscreen 1024x768+0+0 59.92*'
xserver_stop
# scripts/run with a DISPLAY that names no server: a private Xorg for the run, and
# none left behind.
run_out=$(DISPLAY=$(xserver_unused_display) env -u WAYLAND_DISPLAY -u WAYLAND_SOCKET "$SOURCE_DIR/scripts/run" +1000 700px </dev/null 2>&1)
STATUS=$? && report "scripts/run on a private display, its failure told, stopped after" "$(status_is 1)$(
  grep -q 'Pelmode exited with status 1' <<<"$run_out" || echo "$run_out")$(pgrep -af virtual-display)"
# The layout scripts/run shows, from a monitor whose mode in force is its preferred one.
report "scripts/run shows the rate in force without xrandr's preferred mark" "$(xrandr() {
  printf 'Screen 0: minimum 8 x 8, current 1024 x 768, maximum 8192 x 8192\nHDMI-1 connected 1024x768+0+0\n   1024x768 60.00*+\n'; }
  [[ $(xserver_observed_layout) == $'screen 1024x768\nHDMI-1 1024x768+0+0 60.00*' ]] || xserver_observed_layout)"
manual=$(MANPAGER=cat MANWIDTH=80 man -l "$WORK/root/usr/share/man/man1/Pelmode.1.gz" 2>&1)
report "the manual page reads" \
  "$(for heading in 'Pelmode - switch the display' 'EXIT STATUS' 'Wayland session'; do
    grep -q "$heading" <<<"$manual" || echo "no '$heading' in: ${manual:0:200}"
  done)"
summary
