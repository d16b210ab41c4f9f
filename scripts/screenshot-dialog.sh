#!/usr/bin/env bash
# Takes the README's picture of the settings dialog: a private X server, factory settings, the
# dialog cut out of a root-window grab.
# Usage: scripts/screenshot-dialog.sh [build/bin/vesiclar] [docs/settings-dialog.png]
set -euo pipefail

bin=$(realpath "${1:-build/bin/vesiclar}")
out=${2:-docs/settings-dialog.png}
work=$(mktemp -d /tmp/vesiclar-shot-XXXXXX)
xvfb_pid=""
app_pid=""
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# Xvfb picks a free display itself and says which once it accepts clients.
Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
done
[ -s "$work/display" ] || { echo "no X server could be started: $(cat "$work/xvfb.log")" >&2; exit 1; }
export DISPLAY=":$(tr -d '[:space:]' <"$work/display")"

export HOME="$work" XDG_CONFIG_HOME="$work/config" TMPDIR="$work"
"$bin" >/dev/null 2>&1 &
app_pid=$!
window=""
for _ in $(seq 100); do
    window=$(xdotool search --onlyvisible --name '^Vesiclar Configuration$' 2>/dev/null | head -1 || true)
    [ -n "$window" ] && break
    sleep 0.1
done
[ -n "$window" ] || { echo "the dialog did not appear" >&2; exit 1; }
sleep 0.5
eval "$(xdotool getwindowgeometry --shell "$window")"
import -window root "$work/root.png"
# No window manager draws a frame here, so give the dialog a thin border of its own.
convert "$work/root.png" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage -bordercolor '#9a9996' -border 1 "$out"
echo "$out: ${WIDTH}x${HEIGHT}"
