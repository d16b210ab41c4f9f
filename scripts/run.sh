#!/usr/bin/env bash
# `make run`: the screensaver full screen when there is a display.
set -euo pipefail
build=${1:-build}
exec "$build/bin/vesiclar" /s
