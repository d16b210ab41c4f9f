# Sourced by the Wine test scripts (after the session's environment):
#   check DESCRIPTION COMMAND...  runs one check and prints "ok:" or "FAIL:" with its description;
#                                 the failures are counted in $failures
#   finish                        the tally, as the script's exit status
#   wine_temp                     the Wine user's temporary folder, as a Unix path
#   start_run SCR LOG OUT [VAR=VALUE...]
#                                 SCR /s in the background (with that environment, its output to
#                                 OUT), back once LOG says "Starting main loop..."; pid in $run
#   ended PID                     true when PID ends within 20 s with exit code 0
#   start_x_server WHAT COMMAND...
#                                 a private X server for one test, COMMAND given -displayfd 3 (its
#                                 output to $work/x-server.log); Wine is moved onto it, and back to
#                                 the session's own when the script ends
failures=0
check() {
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else echo "FAIL: $what"; failures=$((failures + 1)); fi
}

finish() {
  echo "$failures failed"
  [ "$failures" -eq 0 ]
}

wine_temp() { winepath -u "$(wine cmd /c echo %TEMP% 2>/dev/null | tr -d '\r')"; }

start_run() {
  local scr=$1 log=$2 out=$3
  shift 3
  rm -f "$log"
  env "$@" wine "$scr" /s >"$out" 2>&1 &
  run=$!
  for _ in $(seq 600); do
    grep -q "Starting main loop..." "$log" 2>/dev/null && return 0
    kill -0 "$run" 2>/dev/null || break
    sleep 0.2
  done
  echo "FAIL: the run did not reach the main loop; log:"
  cat "$log" "$out" 2>/dev/null
  kill "$run" 2>/dev/null
  exit 1
}

ended() {
  for _ in $(seq 100); do
    if ! kill -0 "$1" 2>/dev/null; then
      wait "$1"
      return $?
    fi
    sleep 0.2
  done
  kill "$1" 2>/dev/null
  return 1
}

start_x_server() {
  local what=$1
  shift
  "$@" -displayfd 3 3>"$work/display" >"$work/x-server.log" 2>&1 &
  x_server=$!
  for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
  done
  [ -s "$work/display" ] || { echo "FAIL: $what did not start"; kill "$x_server"; exit 1; }
  # Wine takes its display from the X server its wineserver started on: a new one for this server,
  # and again the session's own once the test is done.
  wineserver -k 2>/dev/null
  export DISPLAY=:$(tr -d '\n' <"$work/display")
  trap 'wineserver -k 2>/dev/null; kill "$x_server" 2>/dev/null; wait "$x_server" 2>/dev/null' EXIT
}
