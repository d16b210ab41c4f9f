#!/usr/bin/env bash
# Vesiclar.scr /c under Wine: the settings dialog from template 101 and the about box from 105,
# driven from the keyboard as a user drives them and read back with dialog_probe.exe. An access
# key ticks a box and Enter saves the seventeen values; Escape writes nothing; Restore Defaults
# puts the factory values back in the controls; the about box opens from the dialog and closes on
# Escape; every label fits its control at the template's size; the picture fills its panel, also on a
# display scaled to 150 %; a second start while the dialog is open shows no second one.
#
#   dialog_test.sh SESSION_STATE VESICLAR_SCR DIALOG_PROBE
#
# With VESICLAR_SCREENSHOT_DIR set, the dialog and the about box are saved there as
# settings-dialog-windows.png and about-box-windows.png.
set -uo pipefail
state=$1
scr=$2
probe=$3
. "$state/env"
. "$(dirname "$0")/checks.sh"
work=$state/dialog_test
rm -rf "$work"
mkdir -p "$work"
key='HKCU\Software\Quorvane\Vesiclar'
settings='Vesiclar Configuration'

# Wine draws the title bar itself, as Windows does (the server has no window manager).
x11='HKCU\Software\Wine\X11 Driver'
wine reg add "$x11" /v Decorated /d N /f >/dev/null 2>&1
# The display's scale, which Wine reads when its server starts (case 5 changes it).
desktop='HKCU\Control Panel\Desktop'
unscale() {
  wine reg delete "$desktop" /v LogPixels /f >/dev/null 2>&1
  wineserver -k 2>/dev/null
}
trap 'wine reg delete "$x11" /v Decorated /f >/dev/null 2>&1; [ -z "${scaled:-}" ] || unscale' EXIT

shown() { xdotool search --name "^$1\$" >/dev/null 2>&1; }
wait_shown() {
  for _ in $(seq 150); do
    shown "$1" && return 0
    sleep 0.2
  done
  return 1
}
wait_gone() {
  for _ in $(seq 50); do
    shown "$1" || return 0
    sleep 0.2
  done
  return 1
}
open_dialog() {  # the pid is in $dialog
  wine "$scr" /c >"$work/dialog.out" 2>&1 &
  dialog=$!
  wait_shown "$settings" || { echo "FAIL: the settings dialog did not open"; cat "$work/dialog.out"; exit 1; }
}
controls() { wine "$probe" "$1" | tr -d '\r' | grep -v '^dialog '; }
line_of() { controls "$settings" | grep "^$1 "; }
checked() { line_of "$1" | grep -q ' checked=1 '; }
unchecked() { line_of "$1" | grep -q ' checked=0 '; }
press() {  # the access key the control shows (the letter after "&"), with Alt
  local letter
  letter=$(line_of "$1" | sed -n 's/.* text=[^&]*&\(.\).*/\1/p' | tr 'A-Z' 'a-z')
  [ -n "$letter" ] || { echo "   control $1 shows no access key"; return 1; }
  xdotool key "alt+$letter"
  sleep 0.3
}
all_fit() {  # every control of the dump in $1
  ! grep ' fits=0' "$1"
}
box_of() { grep "^$2 " "$1" | sed -n 's/.* box=\([-0-9,]*\) .*/\1/p'; }
picture_fills() {  # in the dump $1 the picture spans most of the sound group's width, above that group
  local pl pt pr pb gl gt gr gb
  IFS=, read -r pl pt pr pb <<<"$(box_of "$1" '-1 Static')"
  IFS=, read -r gl gt gr gb <<<"$(box_of "$1" 1076)"
  [ $(((pr - pl) * 4)) -ge $(((gr - gl) * 3)) ] && [ "$pb" -le "$gt" ] ||
    { echo "   picture $pl,$pt,$pr,$pb; sound group $gl,$gt,$gr,$gb"; return 1; }
}
screenshot() {  # caption file: the window cut out of a root-window grab
  [ -n "${VESICLAR_SCREENSHOT_DIR:-}" ] || return 0
  local x y w h
  read -r _ x y w h < <(wine "$probe" "$1" | tr -d '\r' | grep '^dialog ')
  import -window root "$work/root.png" && convert "$work/root.png" -crop "${w}x${h}+${x}+${y}" +repage \
    "$VESICLAR_SCREENSHOT_DIR/$2"
}
registry() { wine reg export "$key" "$(winepath -w "$1")" /y >/dev/null 2>&1; }
values_written() {  # the seventeen numbers, and nothing else
  local listing names
  listing=$(wine reg query "$key" 2>/dev/null | tr -d '\r')
  names=$(echo "$listing" | awk '$2 == "REG_DWORD" {print $1}' | LC_ALL=C sort | tr '\n' ' ')
  [ "$names" = "DefGamma Depth Detail EnableMusic English Gamma Height MouseExit Random ShowClock ShowFPS ShowFlame TimeFormat UseDesktop VSync Volume Width " ] ||
    { echo "   values: $names"; return 1; }
  echo "$listing" | grep -Eq '^ +ShowFPS +REG_DWORD +0x1$'
}

started=$(date +%s%N)

# ---- 1: factory values; an access key ticks Show FPS, Enter saves ---------------------------------
wine reg delete "$key" /f >/dev/null 2>&1
open_dialog
controls "$settings" >"$work/factory.txt"
check "every label of the settings dialog fits its control" all_fit "$work/factory.txt"
check "the picture fills its panel" picture_fills "$work/factory.txt"
check "Show FPS starts clear" unchecked 1027
screenshot "$settings" settings-dialog-windows.png
press 1027
check "its access key ticks Show FPS" checked 1027
xdotool key Return
check "Enter closes the dialog" ended "$dialog"
check "Enter wrote the seventeen values, Show FPS on" values_written

# ---- 2: Escape writes nothing -------------------------------------------------------------------
registry "$work/before.reg"
open_dialog
check "the saved Show FPS is shown" checked 1027
press 1027 && press 1003
both_clear() { unchecked 1027 && unchecked 1003; }
check "the boxes follow their keys" both_clear
xdotool key Escape
check "Escape closes the dialog" ended "$dialog"
registry "$work/after.reg"
check "Escape wrote nothing" cmp -s "$work/before.reg" "$work/after.reg"

# ---- 3: Restore Defaults, then the about box ------------------------------------------------------
open_dialog
press 1003
press 1006
controls "$settings" >"$work/restored.txt"
check "Restore Defaults shows the factory values in every control" diff "$work/factory.txt" "$work/restored.txt"
press 1008
check "About... opens the about box" wait_shown About
controls About >"$work/about.txt"
seven_lines() {
  [ "$(grep -Ec '^10(6[6-9]|7[0-2]) Static .* text=.' "$work/about.txt")" = 6 ] &&
    grep -q '^1068 Static .* text=$' "$work/about.txt"
}
check "the about box shows seven lines, the third empty" seven_lines
check "every line of the about box fits its static" all_fit "$work/about.txt"
screenshot About about-box-windows.png
xdotool key Escape
check "Escape closes the about box" wait_gone About
check "the settings dialog stays open" shown "$settings"
xdotool key Escape
check "Escape then closes the settings dialog" ended "$dialog"
registry "$work/last.reg"
check "nothing was written since" cmp -s "$work/before.reg" "$work/last.reg"

# ---- 4: a second start while the dialog is open (Configure clicked twice) -------------------------
# Two dialogs would each save their own copy of every value, the later OK undoing the earlier.
open_dialog
first=$dialog
wine "$scr" /c >"$work/second.out" 2>&1 &
second=$!
for _ in $(seq 50); do
  kill -0 "$second" 2>/dev/null || break
  sleep 0.2
done
one_dialog() { [ "$(xdotool search --onlyvisible --name "^$settings\$" | wc -l)" = 1 ]; }
check "one settings dialog is showing" one_dialog
check "a second start ends by itself" ended "$second"
xdotool key Escape
check "Escape closes the first dialog" ended "$first"

# ---- 5: a display scaled to 150 %, as many laptops are ------------------------------------------
# The dialog grows with its font; the picture drawn pixel for pixel would fill a third of its panel.
scaled=1
wineserver -k 2>/dev/null
wine reg add "$desktop" /v LogPixels /t REG_DWORD /d 144 /f >/dev/null 2>&1
wineserver -k 2>/dev/null
open_dialog
controls "$settings" >"$work/scaled.txt"
check "at 150 % the picture fills its panel" picture_fills "$work/scaled.txt"
xdotool key Escape
check "Escape closes it" ended "$dialog"
unscale
scaled=

echo "   dialog test took $((($(date +%s%N) - started) / 1000000)) ms"
finish
