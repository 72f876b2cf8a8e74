#!/usr/bin/env bash
# A completed run in a folder whose path is over 300 characters: the report
# is written there in full and nothing else is left.
# Usage: long_path_e2e.sh CLI WORK_DIR [RUNNER]   (RUNNER: cmake/wine-run.sh for the .exe)
here=$(dirname "$(realpath "$0")")
# shellcheck source=e2e_checks.sh
source "$here/e2e_checks.sh"

rm -rf "$work"
mkdir -p "$work"
work=$(realpath "$work")
deep=$work/$(printf 'a%.0s' {1..120})/$(printf 'b%.0s' {1..120})/$(printf 'c%.0s' {1..80})
mkdir -p "$deep"
folder=$deep
# Wine cannot start a process in a folder this long, so the console is
# given it as its argument, on the drive that maps the root.
[ -n "$runner" ] && folder="Z:$(printf '%s' "$deep" | tr / '\\')"
[ "${#folder}" -gt 300 ] || fail "the folder is only ${#folder} characters"

out=$work/run.out
# shellcheck disable=SC2086
(cd "$work" && $runner "$cli" "$folder" --passes 1 --size 256MiB) >"$out" 2>&1 &
expect_exit $! "$out" 0
expect_line "$out" "Benchmark Folder: $folder"
expect_one_report "$deep" 1
finish_checks "long path end to end"
