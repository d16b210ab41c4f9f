#!/usr/bin/env bash
# Stands in for cmake and cpack in package_test.sh's Makefile check: makes the folder that `-B`
# names look configured, runs for a second and notes in $FAKE_STATE/overlaps when another run of
# it was still going.
set -u
: "${FAKE_STATE:?}"
while [ $# -gt 0 ]; do
    if [ "$1" = -B ] && [ $# -gt 1 ]; then
        mkdir -p "$2" && touch "$2/CMakeCache.txt"
    fi
    shift
done
mkdir "$FAKE_STATE/running" 2>/dev/null || echo overlap >>"$FAKE_STATE/overlaps"
sleep 1
rmdir "$FAKE_STATE/running" 2>/dev/null || true
