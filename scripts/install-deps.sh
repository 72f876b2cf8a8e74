#!/usr/bin/env bash
# Installs everything the build, the tests and the benchmark need on Debian 12.
# Safe to run again: apt skips what is already there.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev llvm
  libgtest-dev googletest liburing-dev libaio-dev nlohmann-json3-dev libpng-dev cppcheck
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine64 xvfb xauth x11-utils imagemagick fio python3 chromium locales
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
# The number-format tests need a locale whose decimal point is a comma.
locale -a 2>/dev/null | grep -qi '^de_DE.utf8$' || localedef -i de_DE -f UTF-8 de_DE.UTF-8
