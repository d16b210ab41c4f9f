#!/usr/bin/env bash
# The preview under Wine: /p without a handle shows the "Cannot creat window!" box; /p HWND makes
# its child window in a window that preview_host.exe made and ends when that window goes away, or
# when the program that owns it ends. Neither writes a log. (What the child paints is checked in-process by the unit tests: Wine does
# not show GDI drawing from another process's child window.)
#
#   preview_test.sh SESSION_STATE VESICLAR_SCR PREVIEW_HOST
set -uo pipefail
state=$1
scr=$2
host=$3
. "$state/env"
failures=0
temp=$(winepath -u "$(wine cmd /c echo %TEMP% 2>/dev/null | tr -d '\r')")
rm -f "$temp/log.txt"

wine "$scr" /p >/dev/null 2>&1 &
preview=$!
box=$(timeout 30 xdotool search --sync --name '^ERROR$' | head -1)
if [ -n "$box" ]; then
  echo "ok: /p without a handle shows the ERROR box"
else
  echo "FAIL: no ERROR box for /p without a handle"
  failures=$((failures + 1))
fi
# Return on the box (again, should the first one reach it before it takes the focus).
for _ in $(seq 40); do
  kill -0 "$preview" 2>/dev/null || break
  [ -n "$box" ] && xdotool windowfocus "$box" >/dev/null 2>&1
  xdotool key Return >/dev/null 2>&1
  sleep 0.25
done
if kill -0 "$preview" 2>/dev/null; then
  echo "FAIL: the preview did not end after its box"
  kill "$preview"
  failures=$((failures + 1))
else
  echo "ok: the preview ends after its box"
fi

if wine "$host" "$(winepath -w "$scr")"; then
  echo "ok: /p HWND puts a visible SSPreview child over the host's client area and ends with it or its program"
else
  echo "FAIL: /p HWND"
  failures=$((failures + 1))
fi
if [ -e "$temp/log.txt" ]; then
  echo "FAIL: the preview wrote a log"
  failures=$((failures + 1))
else
  echo "ok: the preview writes no log"
fi
echo "$failures failed"
[ "$failures" -eq 0 ]
