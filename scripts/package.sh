#!/usr/bin/env bash
# Builds the two packages into dist/: the Windows zip (both programs, a
# read-me, the licence) from the windows preset and the Debian package of the
# console from the release preset. Reuses those builds when they exist.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
bash scripts/install-deps.sh run test
# Packages of an earlier version would sit beside the new ones.
mkdir -p dist && rm -f dist/corvasta-*-win64.zip dist/corvasta-cli_*.deb

# Builds the programs the package holds, then lets CPack stage them in the
# build tree and copies only the finished package to dist/.
package() {
  local preset=$1 kind=$2; shift 2
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$jobs" --target "$@"
  rm -rf "build/$preset/packages"
  cpack --config "build/$preset/CPackConfig.cmake" -B "build/$preset/packages" >/dev/null
  cp build/"$preset"/packages/*."$kind" dist/
}

package release deb corvasta-cli
package windows zip corvasta corvasta-cli
ls -l dist/
