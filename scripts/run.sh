#!/usr/bin/env bash
# Builds corvasta-cli and benchmarks the folder this is started from; any
# arguments go to the program (--passes N, --size S, --help).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh" run
# Presets are read from the folder cmake runs in.
( cd "$root" && cmake --preset release >/dev/null &&
  cmake --build --preset release -j"$(nproc)" --target corvasta-cli >/dev/null )
exec "$root/build/release/cli/corvasta-cli" "$@"
