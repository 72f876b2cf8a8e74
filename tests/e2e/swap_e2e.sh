#!/usr/bin/env bash
# End to end, for a test file whose name someone else makes lead elsewhere
# while the run waits: during the countdown the run's folder is moved away
# and a folder of the same name put in its place, holding a symbolic link,
# or a hard link, named like the test file and leading to a small file
# elsewhere; during a pause between read passes the test file is moved
# aside in its own folder and such a link put in its place. Each time the
# run ends with the error, the report keeps its ERROR block, the file the
# link leads to is unchanged byte for byte, what the swap put there is
# still there, and the marker names the run's folder for the next start to
# remove. Under Wine only the link between read passes is tried.
# Usage: swap_e2e.sh CLI WORK_DIR [RUNNER]   (RUNNER: cmake/wine-run.sh for the .exe)
# shellcheck source=e2e_checks.sh
source "$(dirname "$(realpath "$0")")/e2e_checks.sh"

rm -rf "$work"
mkdir -p "$work"
work=$(realpath "$work")

# Puts the link where the test file was: the folder is moved away and made
# anew, or the file is moved aside within it.
swap() {  # case folder-name kind
  local folder=$1/bench/$2 kind=$3
  if [[ $kind == *countdown ]]; then
    mv "$folder" "$1/moved-away"
    mkdir "$folder"
  else
    mv "$folder/$2.tmp" "$folder/moved-aside.tmp"
  fi
  if [[ $kind == hard* ]]; then
    ln "$1/elsewhere/target" "$folder/$2.tmp"
  else
    ln -s "$1/elsewhere/target" "$folder/$2.tmp"
  fi
}

check_case() {  # kind passes wait-line
  local kind=$1 case=$work/$1 out=$work/$1.out
  mkdir -p "$case/bench" "$case/elsewhere"
  printf 'victim!' >"$case/elsewhere/target"
  cp "$case/elsewhere/target" "$case/original"
  # shellcheck disable=SC2086
  (cd "$case/bench" && exec $runner "$cli" --passes "$2" --size 256MiB) >"$out" 2>&1 &
  local pid=$! name=""
  if wait_for_line "$out" "$3" "$pid"; then
    name=$(basename "$(compgen -G "$case/bench/corvastatmp*")")
    swap "$case" "$name" "$kind"
  else
    fail "$kind: the run never reached '$3'"
  fi
  expect_exit "$pid" "$out" 1
  expect_line "$out" "Error: The test file was replaced during the run"
  cmp -s "$case/original" "$case/elsewhere/target" || fail "$kind: the file the link leads to changed"
  local put=$case/bench/$name/$name.tmp
  if [[ $kind == hard* ]]; then
    [ "$put" -ef "$case/elsewhere/target" ] || fail "$kind: the hard link is gone"
  else
    [ "$(readlink "$put")" = "$case/elsewhere/target" ] || fail "$kind: the link is gone"
  fi
  local report
  report=$(compgen -G "$case/bench/corvasta_*.html")
  grep -q '<h2>ERROR</h2>' "$report" 2>/dev/null || fail "$kind: no report with an ERROR block"
  # The folder stays named in the marker, alone, for the next start to remove.
  local marker=$case/bench/result_something_happened.txt
  [[ "$(head -n 1 "$marker" 2>/dev/null | tr -d '\r')" == *"$name" ]] ||
    fail "$kind: the marker does not name the run's folder"
  [ "$(sed -n 2p "$marker" | tr -d '\r')" = "" ] || fail "$kind: the marker still names the report"
}

if [ -z "$runner" ]; then
  check_case symlink-countdown 1 "Writing between 5 seconds"
  check_case hardlink-countdown 1 "Writing between 5 seconds"
fi
check_case symlink-pause 2 "Read 1/2"

finish_checks "swap end to end"
