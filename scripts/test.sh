#!/usr/bin/env bash
# Builds and runs every test: static analysis, the native tests under the
# sanitizers, the fuzzers for a fixed number of runs, and the Windows build
# with its tests under Wine (window tests on a virtual display), the static
# console where fleets run it (image, manifests, playbook), and the two
# packages: the Debian package installed and purged again, the zip under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

step() { printf '\n== %s\n' "$*"; }

step "Installing packages"
bash scripts/install-deps.sh run test

step "Static analysis"
bash scripts/static-analysis.sh

step "Native tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake --preset linux >/dev/null
cmake --build --preset linux -j"$jobs"
ctest --preset linux

step "Native unit tests under ThreadSanitizer"
cmake --preset linux-tsan >/dev/null
cmake --build --preset linux-tsan -j"$jobs" --target unit_tests
ctest --preset linux-tsan -R '^unit_tests$'

step "The static console in its image, the Kubernetes manifests and the Ansible playbook"
cmake --preset static >/dev/null
cmake --build --preset static -j"$jobs" --target corvasta-cli deny-io-uring
# The image's runs use RAM-backed disks of their own and the playbook's the
# build tree's, so they go side by side.
ctest --preset static -j3

step "Fuzzers"
bash scripts/fuzz.sh 20000

step "Windows build"
cmake --preset windows >/dev/null
cmake --build --preset windows -j"$jobs"

step "Packages"
bash scripts/package.sh
bash tests/package/deb_test.sh dist/corvasta-cli_*_amd64.deb build/release/deb-test
CORVASTA_WINEPREFIX=$PWD/build/windows/wineprefix bash tests/package/zip_test.sh dist/corvasta-*-win64.zip build/windows/zip-test

step "Windows tests under Wine"
ctest --preset windows
