#!/usr/bin/env bash
# End to end: one short completed run in an empty folder, and (natively) one
# run stopped with SIGINT during the read phase.
# Usage: cli_e2e.sh CLI WORK_DIR [RUNNER]   (RUNNER: cmake/wine-run.sh for the .exe)
set -uo pipefail
cli=$(realpath "$1")
work=$2
runner=${3:-}
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect_line() { grep -qF -- "$2" "$1" || fail "missing '$2' in $(basename "$1")"; }

rm -rf "$work"
mkdir -p "$work/completed"
work=$(realpath "$work")

# shellcheck disable=SC2086
(cd "$work/completed" && $runner "$cli" --passes 1 --size 256MiB) >"$work/completed.out" 2>"$work/completed.err"
code=$?
cat "$work/completed.out" "$work/completed.err"
[ "$code" -eq 0 ] || fail "completed run exited $code"
for line in "Benchmark Folder: " "Read 1/1  " "Read Completed. Writing between 5 seconds..." \
            "Read Completed. Writing between 1 seconds..." "Preparing write test..." "Write 1/1  " \
            "Benchmark completed - HTML log saved in the benchmark folder." "Report: "; do
  expect_line "$work/completed.out" "$line"
done
mapfile -t left < <(ls -A "$work/completed")
if [ "${#left[@]}" -ne 1 ] || [[ ! "${left[0]}" =~ ^corvasta_[0-9]{14}_SEQ1MQ8T1_256MiB\.html$ ]]; then
  fail "the folder should hold exactly one report, holds: ${left[*]}"
else
  report="$work/completed/${left[0]}"
  [ "$(grep -c '<b>PASS 1</b>' "$report")" -eq 2 ] || fail "expected a PASS 1 row in each phase"
  for line in "<h3>READ TEST</h3>" "<h3>WRITE TEST</h3>" "<h3>RESULT</h3>" "<b>SEQ READ</b>" "<b>SEQ WRITE</b>" "</html>"; do
    expect_line "$report" "$line"
  done
  grep -q '<h2>ERROR</h2>' "$report" && fail "the completed run's report has an ERROR block"
fi

if [ -z "$runner" ]; then
  mkdir -p "$work/stopped"
  (cd "$work/stopped" && exec "$cli" --passes 3 --size 256MiB) >"$work/stopped.out" 2>&1 &
  pid=$!
  for _ in $(seq 1 600); do
    grep -qF "Read 1/3" "$work/stopped.out" && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -INT "$pid"
  wait "$pid"
  code=$?
  cat "$work/stopped.out"
  [ "$code" -eq 130 ] || fail "stopped run exited $code"
  expect_line "$work/stopped.out" "Stopping benchmark...Benchmark stopped by user."
  grep -qF "Write 1/3" "$work/stopped.out" && fail "the stop came too late: the write phase ran"
  [ -z "$(ls -A "$work/stopped")" ] || fail "the stopped run left: $(ls -A "$work/stopped")"
fi

[ "$failures" -eq 0 ] && echo "cli end to end: all checks passed"
exit $((failures > 0))
