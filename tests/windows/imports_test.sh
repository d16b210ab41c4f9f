#!/usr/bin/env bash
# What the Windows files ask of the system: Vesiclar.scr and the audio library it carries import
# only Windows' own DLLs (so copying the .scr alone installs it), and the library exports exactly
# the nine entry points the player looks up.
#
#   imports_test.sh OBJDUMP VESICLAR_SCR AUDIO_LIBRARY_DLL
set -uo pipefail
objdump=$1
scr=$2
dll=$3
failures=0
system='ADVAPI32.dll COMCTL32.dll GDI32.dll GLU32.dll KERNEL32.dll msvcrt.dll OPENGL32.dll SHELL32.dll USER32.dll WINMM.dll'

imports() { "$objdump" -p "$1" | awk '/DLL Name:/ {print $3}' | LC_ALL=C sort -u; }
for file in "$scr" "$dll"; do
  listed=$(imports "$file" | tr '\n' ' ')
  echo "$(basename "$file") imports: $listed"
  for name in $listed; do
    if ! echo " $system " | grep -qi " $name "; then
      echo "FAIL: $(basename "$file") imports $name, not a system DLL"
      failures=$((failures + 1))
    fi
  done
done

# The export table's name list: "[   0] BASS_ErrorGetCode" rows after the "[Ordinal/Name Pointer] Table" line.
exports=$("$objdump" -p "$dll" | awk '/Ordinal\/Name Pointer/ {on = 1; next} on && /^\t\[/ {print $NF} on && !/^\t\[/ {on = 0}' |
  LC_ALL=C sort | tr '\n' ' ')
echo "$(basename "$dll") exports: $exports"
expected='BASS_ErrorGetCode BASS_Free BASS_GetVolume BASS_Init BASS_SetVolume BASS_Start BASS_Stop BASS_StreamCreateFile BASS_StreamPlay '
if [ "$exports" != "$expected" ]; then
  echo "FAIL: the library should export exactly: $expected"
  failures=$((failures + 1))
fi
echo "$failures failed"
[ "$failures" -eq 0 ]
