#!/usr/bin/env bash
# Vesiclar.scr /s under Wine on a desktop of three monitors (Xorg's dummy driver, as the Linux
# integration tests use it): one left of the primary, one right of it. The run shrinks the
# primary, and the system lays the desktop out again so that the monitor on the right moves
# left; the scene must fill the primary and a black cover each other monitor where it is now.
#
#   monitors_test.sh SESSION_STATE VESICLAR_SCR
set -uo pipefail
state=$1
scr=$2
. "$state/env"
. "$(dirname "$0")/checks.sh"
work=$state/monitors_test
rm -rf "$work"
mkdir -p "$work"
key='HKCU\Software\Quorvane\Vesiclar'

cat >"$work/xorg.conf" <<'CONF'
Section "ServerFlags"
    Option "AutoAddDevices" "false"
    Option "AutoAddGPU" "false"
    Option "DontVTSwitch" "true"
EndSection
Section "Device"
    Identifier "card"
    Driver "dummy"
    VideoRam 262144
EndSection
Section "Monitor"
    Identifier "monitor"
    HorizSync 5.0 - 1000.0
    VertRefresh 5.0 - 200.0
EndSection
Section "Screen"
    Identifier "screen"
    Device "card"
    Monitor "monitor"
    DefaultDepth 24
    SubSection "Display"
        Depth 24
        Modes "1024x768"
        Virtual 4096 4096
    EndSubSection
EndSection
CONF
start_x_server "Xorg with the dummy driver" \
  Xorg -config "$work/xorg.conf" -logfile "$work/xorg.log" -nolisten tcp -noreset -novtswitch

xrandr --addmode DUMMY1 800x600 && xrandr --addmode DUMMY2 800x600 &&
  xrandr --output DUMMY1 --mode 800x600 --pos 0x0 --output DUMMY0 --mode 1024x768 --pos 800x0 --primary \
    --output DUMMY2 --mode 800x600 --pos 1824x0 || { echo "FAIL: xrandr could not lay out the monitors"; exit 1; }
# The desktop in a colour of its own, so that an uncovered strip shows.
xsetroot -solid '#3060a0'
layout() {  # the screen's size and each lit output's geometry
  xrandr | sed -n 's/.*current \([0-9]*\) x \([0-9]*\),.*/\1x\2/p; s/^\(DUMMY[0-9]*\) connected \(primary \)\{0,1\}\([0-9x+]*\).*/\1 \2\3/p' |
    tr '\n' ' '
}
geometry() { xrandr | sed -n "s/^$1 connected \(primary \)\{0,1\}\([0-9x+]*\).*/\2/p"; }
run_windows() { xwininfo -root -tree | sed -n 's/.*"Vesiclar": ([^)]*)  *\([0-9x+]*\) .*/\1/p' | sort; }
black() {  # the screenshot's area WxH+X+Y holds black pixels only
  [ "$(convert "$work/shot1.png" -crop "$1" +repage -colorspace Gray -threshold 0 -format '%[fx:maxima]' info:)" = 0 ]
}
moves() {  # the area changed between the two screenshots
  local differing
  convert "$work/shot1.png" -crop "$1" +repage "$work/crop1.png" &&
    convert "$work/shot2.png" -crop "$1" +repage "$work/crop2.png" || return 1
  differing=$(compare -metric AE "$work/crop1.png" "$work/crop2.png" null: 2>&1)
  [ "${differing%%.*}" -gt 1000 ] 2>/dev/null
}
before=$(layout)

for kv in "EnableMusic 0" "UseDesktop 0" "Width 640" "Height 480" "Depth 32" "DefGamma 1" "MouseExit 0"; do
  set -- $kv
  wine reg add "$key" /v "$1" /t REG_DWORD /d "$2" /f >/dev/null 2>&1
done
temp=$(wine_temp)
start_run "$scr" "$temp/log.txt" "$work/run.out"
sleep 1
primary=$(geometry DUMMY0)
check "the primary is in the mode asked for" [ "${primary%%+*}" = 640x480 ]
echo "   monitors while it runs: $(layout)"
expected=$(printf '%s\n' "$primary" "$(geometry DUMMY1)" "$(geometry DUMMY2)" | sort)
check "the scene and the covers lie each over one monitor where it now is" [ "$(run_windows)" = "$expected" ]
[ "$(run_windows)" = "$expected" ] || echo "   windows: $(run_windows | tr '\n' ' ')"
import -window root "$work/shot1.png" && sleep 1 && import -window root "$work/shot2.png"
check "the scene moves on the primary" moves "$primary"
check "the monitor left of the primary is black" black "$(geometry DUMMY1)"
check "the monitor right of the primary is black" black "$(geometry DUMMY2)"
xdotool mousemove 100 100 click 1
sleep 1
check "a click on a cover does not end the run" kill -0 "$run"
xdotool key space
check "a key ends the run with exit code 0" ended "$run"
check "the run's windows are gone" [ -z "$(run_windows)" ]
check "the monitors are laid out as before" [ "$(layout)" = "$before" ]
finish
