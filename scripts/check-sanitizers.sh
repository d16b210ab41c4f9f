#!/usr/bin/env bash
# The unit and GL suites and an off-screen run through a whole cycle of the three scene sets, all
# under AddressSanitizer, LeakSanitizer and UBSan (the asan preset). Any report fails the check;
# the only leaks let through are the third-party ones named in tests/sanitizers/lsan.supp.
# Usage: check-sanitizers.sh BUILD_DIR
set -euo pipefail
build=${1:-build-asan}
source_dir=$(cd "$(dirname "$0")/.." && pwd)
export ASAN_OPTIONS="detect_leaks=1:check_initialization_order=1:strict_init_order=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

# The page-fault test measures glibc's heap keeping its memory, and the allocation-failure test
# limits the address space, which ASan's shadow and allocator do not survive; ASan brings its own
# allocator, so the ordinary suite runs both.
(cd "$build" && LSAN_OPTIONS="suppressions=$source_dir/tests/sanitizers/lsan.supp" \
   ctest -L 'unit|gl' -E 'FramesAfterTheFirstFaultInNoMemory|DecodesAfterAnAllocationFailure' \
     --output-on-failure -j 2 --timeout 900)

# cells -> core -> DNA -> cells: every scene, every set change, with the loaders as a run has
# them. No suppression at all here: this is the program's own code path.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/tmp" "$work/frames"
if ! TMPDIR="$work/tmp" "$build/bin/vesiclar" --render "$work/frames" --frames 400 --dt 0.5 --size 320x240 \
       --start cells --seed 1 --bmp > "$work/render.out" 2>&1; then
  cat "$work/render.out"
  echo "check-sanitizers: the off-screen run FAILED"
  exit 1
fi
# The sets in the order their tracks were loaded, one word a track.
sets=$(sed -n 's/^Load scene <scenes\\\([a-z]*\)\\.*/\1/p' "$work/tmp/log.txt" | tr '\n' ' ')
case "$sets" in
  *"cells core dna cells"*) ;;
  *) echo "check-sanitizers: the off-screen run did not go through a whole cycle: $sets"; exit 1 ;;
esac
echo "check-sanitizers: clean (unit, gl, and an off-screen run through: $sets)"
