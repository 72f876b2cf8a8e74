#!/usr/bin/env bash
# Installs the Debian 12 packages of one or more sets:
#   run   building and running the console front-end (compiler, CMake, Ninja,
#         the libraries it links)
#   test  everything else the tests, the Windows build, the packages and the
#         benchmark need
# Safe to run again: only what is missing is installed.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
run_packages=(cmake ninja-build g++ liburing-dev libaio-dev nlohmann-json3-dev libcli11-dev)
test_packages=(
  clang libclang-rt-14-dev llvm libgtest-dev googletest libpng-dev cppcheck dpkg-dev
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine64 xvfb xauth x11-utils imagemagick fio python3 chromium locales dosfstools btrfs-progs pci.ids
  podman buildah ansible-core python3-yaml
)

usage() { echo "usage: install-deps.sh run|test..." >&2; exit 2; }
[ "$#" -gt 0 ] || usage
packages=()
for set in "$@"; do
  case "$set" in
    run) packages+=("${run_packages[@]}") ;;
    test) packages+=("${test_packages[@]}") ;;
    *) usage ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The number-format tests need a locale whose decimal point is a comma.
if [[ " $* " == *" test "* ]]; then
  locale -a 2>/dev/null | grep -qi '^de_DE.utf8$' || localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi
