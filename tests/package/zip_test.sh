#!/usr/bin/env bash
# Unpacks the Windows zip, checks that it holds exactly what a Windows user
# gets, that both programs carry the version in their version resource, and
# runs the console's --version under Wine.
# Usage: zip_test.sh corvasta-VERSION-win64.zip WORK_DIR
set -uo pipefail
zip=$(realpath "$1")
work=$2
here=$(cd "$(dirname "$0")" && pwd)
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect() { grep -qF -- "$2" <<<"$1" || fail "expected '$2' in $3"; }

name=$(basename "$zip" .zip)
version=${name#corvasta-}
version=${version%-win64}
rm -rf "$work" && mkdir -p "$work"
(cd "$work" && cmake -E tar xf "$zip") || fail "cannot unpack $zip"
folder=$work/$name
files=$(cd "$work" && find . -type f | sort | tr '\n' ' ')
[ "$files" = "./$name/LICENSE.txt ./$name/README.txt ./$name/corvasta-cli.exe ./$name/corvasta.exe " ] ||
  fail "the zip holds: $files"
expect "$(head -n1 "$folder/README.txt")" "Corvasta $version for Windows x64" README.txt
grep -q $'\r$' "$folder/README.txt" || fail "README.txt lacks CR LF line ends"

IFS=. read -r major minor patch <<<"$version"
check_version_resource() {
  local program=$1 description=$2 resource
  resource=$(x86_64-w64-mingw32-windres -i "$folder/$program" -O rc 2>&1)
  expect "$resource" "FILEVERSION $major, $minor, $patch, 0" "$program"
  expect "$resource" "PRODUCTVERSION $major, $minor, $patch, 0" "$program"
  expect "$resource" "VALUE \"FileVersion\", \"$version.0\"" "$program"
  expect "$resource" "VALUE \"FileDescription\", \"$description\"" "$program"
}
check_version_resource corvasta.exe "Folder Sequential Benchmark"
check_version_resource corvasta-cli.exe "Folder Sequential Benchmark (console)"

output=$(cd "$folder" && "$here/../../cmake/wine-run.sh" ./corvasta-cli.exe --version | tr -d '\r')
expect "$output" "corvasta-cli $version" "corvasta-cli.exe --version"
expect "$output" "I/O: iocp" "corvasta-cli.exe --version"
rm -rf "$work"

[ "$failures" -eq 0 ] && echo "Windows zip: holds both programs of version $version, which run under Wine"
exit $((failures > 0))
