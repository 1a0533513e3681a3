#!/usr/bin/env bash
# Checks the 32-bit Windows executable without running it (32-bit code cannot
# run here): image kind, imports, and every resource it carries.
# Usage: resources_test.sh PELMODE_EXE SOURCE_DIR WORK_DIR
set -uo pipefail

EXE=$1
SOURCE_DIR=$2
WORK=$3
source "$(dirname "$0")/lib/expect.sh"

if [[ ! -f $EXE ]]; then
  echo "$EXE is missing: build the windows-i686 preset first"
  exit 1
fi

objdump=i686-w64-mingw32-objdump
headers=$($objdump -p "$EXE")
header() { awk -v key="$1" '$1 == key { print $2; exit }' <<<"$headers"; }

report "PE32 image for i386" \
  "$($objdump -f "$EXE" | grep -q 'file format pei-i386' || echo 'not pei-i386')$(
    [[ $(header Magic) == 010b ]] || echo "magic $(header Magic)")"
report "console subsystem 6.0" \
  "$([[ $(header Subsystem) == 00000003 && $(header MajorSubsystemVersion) == 6 &&
    $(header MinorSubsystemVersion) == 0 ]] || grep -E 'Subsystem' <<<"$headers")"
imports=$(awk '/DLL Name:/ { print toupper($3) }' <<<"$headers" | sort | tr '\n' ' ')
report "imports only system DLLs" \
  "$([[ $imports == "KERNEL32.DLL MSVCRT.DLL USER32.DLL " ]] || echo "imports: $imports")"

resources=$(wrestool -l "$EXE" | sed 's/ \[.*//')
expected_resources=$(
  for n in $(seq 10); do echo "--type=3 --name=$n --language=1033"; done
  echo "--type=14 --name=101 --language=1033"
  echo "--type=24 --name=1 --language=1033"
)
report "ten icons, one icon group, one manifest, nothing else" \
  "$([[ $resources == "$expected_resources" ]] || printf 'resources:\n%s\n' "$resources")"

# The group lists its images as (width, height, colour count, bit depth).
group=($(wrestool -x --raw --type=14 --name=101 "$EXE" | od -An -tu1 -v))
entries=""
for ((i = 0; i < group[4]; i++)); do
  e=$((6 + 14 * i))
  entries+="${group[e]}x${group[e + 1]} colours ${group[e + 2]} bits ${group[e + 6]};"
done
expected_entries="48x48 colours 16 bits 4;32x32 colours 16 bits 4;16x16 colours 16 bits 4;"
expected_entries+="48x48 colours 0 bits 8;32x32 colours 0 bits 8;16x16 colours 0 bits 8;"
expected_entries+="128x128 colours 0 bits 32;48x48 colours 0 bits 32;32x32 colours 0 bits 32;"
expected_entries+="16x16 colours 0 bits 32;"
report "icon group IDI_ICON1 lists the ten images in order" \
  "$([[ $entries == "$expected_entries" ]] || echo "entries: $entries")"

# Each image is a bitmap (a 40-byte header, never a PNG) of the listed depth.
problems=""
for ((i = 0; i < group[4]; i++)); do
  e=$((6 + 14 * i))
  id=$((group[e + 12] + 256 * group[e + 13]))
  image=($(wrestool -x --raw --type=3 --name="$id" "$EXE" | head -c 16 | od -An -tu1))
  [[ ${image[0]} == 40 && ${image[14]} == "${group[e + 6]}" ]] ||
    problems+="image $id starts ${image[*]}"$'\n'
done
report "every image is a bitmap of its listed depth" "$problems"

manifest=$(wrestool -x --raw --type=24 --name=1 "$EXE")
report "manifest as written, asking for no elevation" \
  "$(cmp -s <(printf '%s\n' "$manifest") "$SOURCE_DIR/Pelmode/Pelmode.manifest" || echo 'manifest differs')$(
    grep -q 'manifestVersion="1.0"' <<<"$manifest" || echo 'no version 1.0')$(
    grep -q '<requestedExecutionLevel level="asInvoker" uiAccess="false"/>' <<<"$manifest" ||
      echo 'no asInvoker')"

python3 "$SOURCE_DIR/tools/make_icon.py" "$WORK/drawn.ico"
report "the icon is what tools/make_icon.py draws" \
  "$(cmp -s "$WORK/drawn.ico" "$SOURCE_DIR/Pelmode/Pelmode.ico" || echo 'it differs: regenerate it')"
summary
