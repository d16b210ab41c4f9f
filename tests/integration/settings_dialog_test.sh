#!/usr/bin/env bash
# The settings dialog on a private X server: an access key ticks "Show FPS", a mouse click on OK
# saves, and the settings file holds it; Escape after a change writes nothing; Enter is OK even
# while a checkbox has the focus; a click in a slider's channel moves it one page; "Visit..." opens
# the web site in the desktop's browser; a second start while the dialog is open shows no second one;
# a stop request ends it even while it reports a failed save.
# Usage: settings_dialog_test.sh path/to/vesiclar
set -euo pipefail

bin=$(realpath "$1")
work=$(mktemp -d /tmp/vesiclar-dialog-XXXXXX)
xvfb_pid=""
app_pid=""

cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    [ -f "$work/app.log" ] && { echo "--- vesiclar said:" >&2; cat "$work/app.log" >&2; }
    [ -f "$settings" ] && { echo "--- settings file:" >&2; cat "$settings" >&2; }
    exit 1
}

# Xvfb picks a free display itself and says which once it accepts clients.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
done
[ -s "$work/display" ] || { echo "no X server could be started: $(cat "$work/xvfb.log")" >&2; exit 1; }
export DISPLAY=":$(tr -d '[:space:]' <"$work/display")"

export HOME="$work" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" TMPDIR="$work"
settings="$work/config/vesiclar/settings.ini"

# A browser of the test's own, the desktop's default for web addresses: it notes what it is given.
mkdir -p "$work/data/applications" "$work/config"
printf '#!/bin/sh\necho "$1" >>"%s/visited"\n' "$work" >"$work/browser"
chmod +x "$work/browser"
printf '[Desktop Entry]\nType=Application\nName=Test browser\nExec=%s/browser %%u\nMimeType=x-scheme-handler/http;x-scheme-handler/https;\n' \
    "$work" >"$work/data/applications/test-browser.desktop"
printf '[Default Applications]\nx-scheme-handler/http=test-browser.desktop\nx-scheme-handler/https=test-browser.desktop\n' \
    >"$work/config/mimeapps.list"

# Starts the dialog and leaves its window id in $window.
open_dialog() {
    "$bin" "$@" >"$work/app.log" 2>&1 &
    app_pid=$!
    window=""
    for _ in $(seq 300); do  # generous: the machine may be busy building
        window=$(xdotool search --onlyvisible --name '^Vesiclar Configuration$' 2>/dev/null | head -1 || true)
        [ -n "$window" ] && break
        kill -0 "$app_pid" 2>/dev/null || fail "vesiclar ended before its dialog showed: $(cat "$work/app.log")"
        sleep 0.1
    done
    [ -n "$window" ] || fail "the dialog did not appear"
    xdotool windowfocus --sync "$window"
    sleep 0.5
}

# Waits for the dialog's process to end and checks it ended well.
closed() {
    for _ in $(seq 200); do
        kill -0 "$app_pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$app_pid" 2>/dev/null && fail "the dialog did not close"
    wait "$app_pid" || fail "vesiclar exited with $?"
    app_pid=""
}

value() { sed -n "s/^$1=//p" "$settings"; }

# 1. Tick "Show FPS" with its access key, click OK with the mouse (bottom-right button).
open_dialog
# Read whole first: grep -q would stop reading, and xprop's broken pipe would fail the pipeline.
icon=$(xprop -id "$window" _NET_WM_ICON)
[[ $icon == *"Icon ("* ]] || fail "the dialog carries no icon"
xdotool key alt+s
sleep 0.2
eval "$(xdotool getwindowgeometry --shell "$window")"
xdotool mousemove --window "$window" $((WIDTH - 52)) $((HEIGHT - 26)) click 1
closed
[ -f "$settings" ] || fail "OK wrote no settings file"
[ "$(value ShowFPS)" = 1 ] || fail "ShowFPS is '$(value ShowFPS)', expected 1"
[ "$(value EnableMusic)" = 1 ] || fail "EnableMusic is '$(value EnableMusic)', expected 1"
[ "$(value Volume)" = 75 ] || fail "Volume is '$(value Volume)', expected 75"
[ "$(value TimeFormat)" = 1 ] || fail "TimeFormat is '$(value TimeFormat)', expected 1"

# 2. "Visit..." twice opens the web site in the default browser each time and leaves no zombie
#    behind; then untick "Enable Music" and press Escape: the file stays as it was.
cp "$settings" "$work/before.ini"
open_dialog /c:4242   # an owner handle that names no window
eval "$(xdotool getwindowgeometry --shell "$window")"
for _ in 1 2; do
    xdotool mousemove --window "$window" $((WIDTH - 147)) $((HEIGHT - 79)) click 1
    sleep 0.5
done
for _ in $(seq 50); do
    [ "$(wc -l <"$work/visited" 2>/dev/null || echo 0)" -ge 2 ] && break
    sleep 0.1
done
[ "$(cat "$work/visited" 2>/dev/null)" = "$(printf 'https://www.quorvane.com/vesiclar/\nhttps://www.quorvane.com/vesiclar/')" ] ||
    fail "Visit opened '$(cat "$work/visited" 2>/dev/null)', expected the web site twice"
zombies=$(ps -o stat= --ppid "$app_pid" | grep -c '^Z' || true)
[ "$zombies" = 0 ] || fail "Visit left $zombies zombie processes"
xdotool key alt+m
sleep 0.2
xdotool key Escape
closed
cmp -s "$settings" "$work/before.ini" || fail "Escape changed the settings file"

# 2b. X carries window ids in 32 bits: an owner handle beyond them names no window. Cut down, this
#     one would be the root window's, and the dialog would be kept above it as its owner's.
root=$(xwininfo -root | awk '/Window id:/ {print $4}')
open_dialog "/c:$(( (1 << 32) + root ))"
owner=$(xprop -id "$window" WM_TRANSIENT_FOR)
[[ $owner != *"$root"* ]] || fail "an owner handle beyond 32 bits made the dialog transient for $owner"
xdotool key Escape
closed

# 3. The next run shows what was saved, and Enter is OK while a checkbox has the focus. Before
#    that, a click in the volume slider's channel right of its thumb moves it one page (10), not to
#    the pointer.
open_dialog
eval "$(xdotool getwindowgeometry --shell "$window")"
xdotool mousemove --window "$window" $((WIDTH - 30)) 275 click 1
sleep 0.2
xdotool key alt+v    # VSync on, the focus now on its checkbox
sleep 0.2
xdotool key Return
closed
[ "$(value ShowFPS)" = 1 ] || fail "ShowFPS was not kept from the first run"
[ "$(value VSync)" = 1 ] || fail "VSync is '$(value VSync)', expected 1"
[ "$(value Volume)" = 85 ] || fail "a click in the volume channel gave '$(value Volume)', expected 75 + 10"

# 4. Started again while the dialog is open (a menu entry clicked twice): no second dialog, whose OK
#    would write back its stale copy of every value over what the first one saved.
open_dialog
first_pid=$app_pid
"$bin" >"$work/second.log" 2>&1 &
second_pid=$!
for _ in $(seq 100); do
    kill -0 "$second_pid" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$second_pid" 2>/dev/null; then
    kill "$second_pid"
    wait "$second_pid" || true
    fail "a second start opened a second dialog"
fi
wait "$second_pid" || fail "the second start exited with $?: $(cat "$work/second.log")"
[ "$(xdotool search --onlyvisible --name '^Vesiclar Configuration$' | wc -l)" = 1 ] || fail "two dialogs are showing"
xdotool windowfocus --sync "$window"
xdotool key Escape
app_pid=$first_pid
closed

# 5. OK while the settings cannot be written shows an error box; a stop request then (the session
#    ending) still ends the program instead of waiting for someone to dismiss the box.
mkdir "$settings.tmp"   # the file's replacement cannot be created
open_dialog
xdotool key Return
for _ in $(seq 50); do
    [ "$(xdotool search --onlyvisible --pid "$app_pid" 2>/dev/null | wc -l)" -ge 2 ] && break
    sleep 0.1
done
[ "$(xdotool search --onlyvisible --pid "$app_pid" 2>/dev/null | wc -l)" -ge 2 ] || fail "a failed save showed no error box"
kill -TERM "$app_pid"
closed
rmdir "$settings.tmp"

echo "settings dialog: OK saves, Escape cancels, Enter is OK, one dialog at a time, a stop ends it"
