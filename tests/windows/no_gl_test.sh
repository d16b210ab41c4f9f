#!/usr/bin/env bash
# Vesiclar.scr /s under Wine on an X server without GLX, where no OpenGL context can be made (as on
# a system whose display offers no OpenGL): the run ends by itself, and the log says why, instead
# of showing a black screen until a key.
#
#   no_gl_test.sh SESSION_STATE VESICLAR_SCR
set -uo pipefail
state=$1
scr=$2
. "$state/env"
. "$(dirname "$0")/checks.sh"
work=$state/no_gl_test
rm -rf "$work"
mkdir -p "$work"
key='HKCU\Software\Quorvane\Vesiclar'
wine reg add "$key" /v EnableMusic /t REG_DWORD /d 0 /f >/dev/null 2>&1
log=$(wine_temp)/log.txt

start_x_server "Xvfb without GLX" Xvfb -extension GLX -screen 0 800x600x24 -nolisten tcp -noreset

rm -f "$log"
wine "$scr" /s >"$work/run.out" 2>&1 &
run=$!
check "the run ends by itself" ended "$run"
kill "$run" 2>/dev/null
check "the log says no context could be made" grep -q "No window could be made (no OpenGL context: " "$log"
check "no asset load was tried" bash -c "! grep -q 'Load texture' '$log'"
finish
