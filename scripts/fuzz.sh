#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for a fixed number of inputs, in
# a scratch folder of the build tree.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-20000}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$(nproc)"
scratch=build/fuzz/scratch
found=0
for target in build/fuzz/tests/fuzz_*; do
  [ -x "$target" ] || continue
  found=1
  name=$(basename "$target")
  rm -rf "$scratch/$name" && mkdir -p "$scratch/$name"
  ( cd "$scratch/$name" && "../../tests/$name" -runs="$runs" -seed=1 2>&1 | tail -n 2 )
done
[ "$found" = 1 ] || echo "no fuzz targets built"
