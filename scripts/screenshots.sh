#!/usr/bin/env bash
# Renders the README pictures with the screensaver's own off-screen renderer. Same seeds, same
# pictures.
set -euo pipefail
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
bin="$build/bin/vesiclar"
settings="$root/docs/pictures/render-settings.ini"
out="$root/docs/pictures"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# name set seed skip-seconds [size]
shots=(
  "cells-1 cells 11 4"
  "cells-2 cells 23 9"
  "core-1 core 5 3"
  "core-2 core 17 8"
  "dna-1 dna 3 16"
  "dna-2 dna 29 24"
)
for shot in "${shots[@]}"; do
  read -r name set seed skip <<<"$shot"
  rm -f "$work"/*.png
  "$bin" --render "$work" --start "$set" --seed "$seed" --skip "$skip" --frames 1 --size 800x600 \
    --settings "$settings" >/dev/null
  cp "$work/frame-00000.png" "$out/$name.png"
  echo "docs/pictures/$name.png"
done

# The loading screen, as the run shows it while the assets load.
rm -f "$work"/*.png
"$bin" --render "$work" --loading --seed 1 --frames 1 --size 800x600 --settings "$settings" >/dev/null
cp "$work/loading.png" "$out/loading.png"
echo "docs/pictures/loading.png"
