#!/usr/bin/env bash
# `make run`: the screensaver full screen when there is a display; without one, a short clip
# rendered off-screen into out/.
set -euo pipefail
build=${1:-build}
bin="$build/bin/vesiclar"

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  echo "run: full screen on $DISPLAY; any key or a left or right click ends it"
  exec "$bin" /s
fi

out=out
mkdir -p "$out"
echo "run: no X display here; rendering a short clip off-screen into $out/ ..."
"$bin" --render "$out" --frames 90
echo "run: 90 frames (3 s at 30 frames/s) written to $(cd "$out" && pwd)/frame-00000.png ... frame-00089.png"
