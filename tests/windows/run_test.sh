#!/usr/bin/env bash
# Vesiclar.scr /s under Wine: it takes its settings from the registry and never writes there,
# reaches the main loop, presents frames that change, ends on a key, a click or another program
# taking the focus, stays alone (a second run ends at once), and leaves log.txt in the user's
# temporary folder with CR LF line ends and "EXIT" last. On a virtual X server Wine refuses the
# mode change and the gamma ramp: the log says so and the run goes on.
#
#   run_test.sh SESSION_STATE VESICLAR_SCR
set -uo pipefail
state=$1
scr=$2
. "$state/env"
work=$state/run_test
rm -rf "$work"
mkdir -p "$work"
key='HKCU\Software\Quorvane\Vesiclar'
. "$(dirname "$0")/checks.sh"
set_values() {  # name type data ...
  while [ $# -gt 0 ]; do
    wine reg add "$key" /v "$1" /t "$2" /d "$3" /f >/dev/null 2>&1
    shift 3
  done
}
temp=$(wine_temp)
log=$temp/log.txt

has() { grep -qF -- "$1" "$log"; }
lacks() { ! grep -qF -- "$1" "$log"; }
crlf_only() {  # every line feed follows a carriage return
  [ "$(tr -cd '\n' <"$log" | wc -c)" -eq "$(grep -c $'\r$' "$log")" ] && [ "$(tr -cd '\n' <"$log" | wc -c)" -gt 10 ]
}
exit_last() { [ "$(tail -c 4 "$log")" = "EXIT" ]; }
frames_change() {
  import -window root "$work/frame1.png" && sleep 1 && import -window root "$work/frame2.png" || return 1
  local differing
  differing=$(compare -metric AE "$work/frame1.png" "$work/frame2.png" null: 2>&1)
  echo "   $differing pixels changed in a second"
  [ "${differing%%.*}" -gt 1000 ] 2>/dev/null
}
screen_size() { [[ "$(xdpyinfo)" =~ dimensions:\ +$1\ pixels ]]; }

# ---- 1: 800 x 600 asked for on a 1024 x 768 server, brightness 80, ended by a key ----------------
set_values EnableMusic REG_DWORD 0 UseDesktop REG_DWORD 0 Width REG_DWORD 800 Height REG_DWORD 600 \
  Depth REG_DWORD 32 DefGamma REG_DWORD 0 Gamma REG_DWORD 80 Path REG_SZ 'C:\Quorvane\Vesiclar'
wine reg export "$key" "$(winepath -w "$work/before.reg")" /y >/dev/null 2>&1
started=$(date +%s%N)
start_run "$scr" "$log" "$work/run.out"
echo "   main loop reached in $((($(date +%s%N) - started) / 1000000)) ms"
check "frames change while it runs" frames_change
xdotool key space
check "a key ends the run with exit code 0" ended "$run"
check "the log's lines end in CR LF" crlf_only
check "\"EXIT\" is the log's last text" exit_last
check "Path comes from the registry" has "Path is <C:\\Quorvane\\Vesiclar>"$'\r'
check "Width and Height come from the registry" has "Set resolution: 800x600...done"$'\r'
check "the refused mode is logged" has "Display mode not changed, the run goes on in the current mode (ChangeDisplaySettingsA answered DISP_CHANGE_BADMODE)"
check "the failed gamma calls are logged" has "Gamma ramp not set, the display keeps its ramp (GetDeviceGammaRamp failed"
check "the buffer objects resolve" has "Initialize Vertex Buffer Object extension... done"
check "the swap interval is set" has "Set swap interval ...done"
check "the run reached its end in order" has "Starting main loop...EXIT"
check "the display keeps its own size" screen_size 1024x768
wine reg export "$key" "$(winepath -w "$work/after.reg")" /y >/dev/null 2>&1
check "the run wrote nothing to the registry" cmp -s "$work/before.reg" "$work/after.reg"

# ---- 2: the desktop's own size, default gamma, ended by a left click ------------------------------
set_values Width REG_DWORD 1024 Height REG_DWORD 768 DefGamma REG_DWORD 1
start_run "$scr" "$log" "$work/run.out"
xdotool mousedown 1 mouseup 1
check "a left click ends the run" ended "$run"
check "the new values are what the next run uses" has "Set resolution: 1024x768...done"$'\r'
check "the desktop's own mode is accepted" lacks "Display mode not changed"
check "with default gamma the ramp is left alone" lacks "Gamma ramp"

# ---- 3: another program takes the focus: its window sits hidden under ours with the keys ---------
start_run "$scr" "$log" "$work/run.out"
wine notepad >/dev/null 2>&1 &
thief=$!
check "another program taking the focus ends the run" ended "$run"
wine taskkill /f /im notepad.exe >/dev/null 2>&1
wait "$thief" 2>/dev/null

# ---- 4: a second run while one runs: the two would take the screen from each other ---------------
start_run "$scr" "$log" "$work/run.out"
first=$run
wine "$scr" /s >"$work/second.out" 2>&1 &
check "a second run ends at once" ended $!
check "the first run goes on" kill -0 "$first"
xdotool key space
check "and ends on a key" ended "$first"

finish
