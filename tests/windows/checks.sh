# Sourced by the Wine test scripts: `check DESCRIPTION COMMAND...` runs one check and prints "ok:"
# or "FAIL:" with its description; the failures are counted in $failures.
failures=0
check() {
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else echo "FAIL: $what"; failures=$((failures + 1)); fi
}
