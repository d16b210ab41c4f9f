#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a short while, starting from the corpus kept in
# tests/fuzz/corpus/<target>/ (what the long campaigns found) and the seeds. New inputs go to a
# scratch folder in the build, never into the kept corpus: `make fuzz-long` grows that.
# Usage: run-fuzzers.sh BUILD_DIR [SECONDS_PER_TARGET]
set -euo pipefail
build=${1:-build-fuzz}
seconds=${2:-10}
kept="$(cd "$(dirname "$0")/.." && pwd)/tests/fuzz/corpus"
status=0
ran=0
for target in "$build"/bin/fuzz_*; do
  [ -x "$target" ] || continue
  ran=$((ran + 1))
  name=$(basename "$target")
  # The archive reader takes the most hostile input of all, so it gets three times as long.
  run_seconds=$seconds
  [ "$name" = fuzz_archive ] && run_seconds=$((seconds * 3))
  corpus="$build/corpus/$name"
  mkdir -p "$corpus"
  seeds="$build/seeds/$name"
  [ -d "$seeds" ] || seeds=""
  [ -d "$kept/$name" ] || { echo "fuzz: $name has no kept corpus in $kept"; status=1; }
  if "$target" -max_total_time="$run_seconds" -rss_limit_mb=2048 -timeout=10 -print_final_stats=0 \
       "$corpus" "$kept/$name" $seeds > "$build/$name.log" 2>&1; then
    echo "fuzz: $name ran clean for ${run_seconds}s"
  else
    echo "fuzz: $name FAILED (see $build/$name.log)"; tail -n 40 "$build/$name.log"
    status=1
  fi
done
# A folder without targets (not a fuzz build, or not built yet) has fuzzed nothing: no pass.
[ "$ran" -gt 0 ] || { echo "fuzz: no fuzz targets in $build/bin (make fuzz builds them)"; exit 1; }
exit $status
