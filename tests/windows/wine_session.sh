#!/usr/bin/env bash
# One Wine session for the Windows tests: a private Xvfb (1024 x 768, as a plain virtual server
# is) and a fresh WINEPREFIX made with `wineboot -i`, shared by the tests of one ctest run.
#
#   wine_session.sh start STATE      make the session; STATE/env holds its environment
#   wine_session.sh exec STATE CMD   run CMD (a Windows program and its arguments) in it
#   wine_session.sh stop STATE       end Wine and the server, remove everything
#
# Tests source STATE/env themselves for the X tools (xdotool, import) and `wine reg`.
set -euo pipefail
command=$1
state=$2
shift 2

case $command in
start)
  rm -rf "$state"
  mkdir -p "$state"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$state/display" >"$state/xvfb.log" 2>&1 &
  echo $! >"$state/xvfb.pid"
  for _ in $(seq 200); do
    [ -s "$state/display" ] && break
    sleep 0.1
  done
  display=$(tr -d '\n' <"$state/display")
  [ -n "$display" ] || { echo "Xvfb did not start" >&2; cat "$state/xvfb.log" >&2; exit 1; }
  cat >"$state/env" <<ENV
export DISPLAY=:$display
export WINEPREFIX=$state/prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
ENV
  . "$state/env"
  started=$(date +%s%N)
  # The server stays up for the whole session, so each program starts quickly.
  mkdir -p "$WINEPREFIX"
  # Starting Wine in a fresh prefix failed once in many runs without a word, and its logs went with
  # the session: a failing step now shows its log, and wineboot gets one more go.
  showLog() { echo "$1" >&2; cat "$2" >&2; }
  wineserver -p >"$state/wineserver.log" 2>&1 || { showLog "wineserver -p failed with status $?:" "$state/wineserver.log"; exit 1; }
  wineboot -i >"$state/wineboot.log" 2>&1 || {
    showLog "wineboot -i failed with status $?, once more:" "$state/wineboot.log"
    wineboot -i >"$state/wineboot.log" 2>&1 || { showLog "wineboot -i failed again with status $?:" "$state/wineboot.log"; exit 1; }
  }
  echo "wine session on :$display, prefix made in $((($(date +%s%N) - started) / 1000000)) ms"
  ;;
exec)
  . "$state/env"
  exec wine "$@"
  ;;
stop)
  if [ -f "$state/env" ]; then
    . "$state/env"
    wineserver -k 2>/dev/null || true
  fi
  [ -f "$state/xvfb.pid" ] && kill "$(cat "$state/xvfb.pid")" 2>/dev/null || true
  rm -rf "$state"
  ;;
*)
  echo "usage: $0 start|exec|stop STATE [CMD...]" >&2
  exit 2
  ;;
esac
