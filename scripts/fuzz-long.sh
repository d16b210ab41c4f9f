#!/usr/bin/env bash
# A long fuzzing campaign: every target (or those named) for MINUTES each, one after another at the
# lowest priority, starting from the kept corpus; what they found is merged back, minimised, into
# tests/fuzz/corpus/<target>/. Prints executions, coverage and findings per target.
# Usage: fuzz-long.sh BUILD_DIR MINUTES [TARGET...]
set -euo pipefail
build=${1:?build dir}
minutes=${2:?minutes per target}
shift 2
source_dir=$(cd "$(dirname "$0")/.." && pwd)
kept="$source_dir/tests/fuzz/corpus"
work="$build/fuzz-long"
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for target in "$build"/bin/fuzz_*; do [ -x "$target" ] && targets+=("$(basename "$target")"); done
fi
[ ${#targets[@]} -gt 0 ] || { echo "fuzz-long: no fuzz targets in $build/bin (make fuzz builds them)"; exit 1; }
mkdir -p "$work"
status=0
for name in "${targets[@]}"; do
  target="$build/bin/$name"
  [ -x "$target" ] || { echo "fuzz-long: no $target"; status=1; continue; }
  corpus="$kept/$name"
  scratch="$work/$name.new"
  mkdir -p "$corpus" "$scratch" "$work/findings"
  seeds="$build/seeds/$name"
  [ -d "$seeds" ] || seeds=""
  log="$work/$name.log"
  # One job at a time, at the lowest priority: the machine is shared.
  if nice -n 19 "$target" -max_total_time=$((minutes * 60)) -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 \
       -artifact_prefix="$work/findings/$name-" "$scratch" "$corpus" $seeds > "$log" 2>&1; then
    result=clean
  else
    result="FINDING (see $log and $work/findings/)"
    status=1
  fi
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  coverage=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1)
  # Minimise the kept corpus and what was found into a fresh folder, then put it in place.
  merged="$work/$name.merged"
  rm -rf "$merged" && mkdir -p "$merged"
  nice -n 19 "$target" -merge=1 -rss_limit_mb=2048 -timeout=10 "$merged" "$corpus" "$scratch" $seeds \
    > "$work/$name.merge.log" 2>&1 || true
  if [ -n "$(ls -A "$merged")" ]; then
    rm -rf "$corpus" && mv "$merged" "$corpus"
  fi
  rm -rf "$scratch"
  echo "fuzz-long: $name ${minutes} min, ${executions:-?} executions, ${coverage:-cov: ?}," \
       "corpus $(ls "$corpus" | wc -l) files, $result"
done
exit $status
