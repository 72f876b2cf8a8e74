# Shared by the console's end-to-end scripts: the arguments, the failure
# count and the checks. Sourced; sets cli, work, runner and failures.
# Arguments: CLI WORK_DIR [RUNNER]   (RUNNER: cmake/wine-run.sh for the .exe)
set -uo pipefail
cli=$(realpath "$1")
work=$2
runner=${3:-}
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect_line() { grep -qF -- "$2" "$1" || fail "missing '$2' in $(basename "$1")"; }

# Waits for a process started in the background, shows what it printed and
# checks how it ended.
expect_exit() {  # pid output code
  wait "$1"
  local code=$?
  cat "$2"
  [ "$code" -eq "$3" ] || fail "$(basename "$2") tells of a process that exited $code, not $3"
}

# The folder holds one report, its JSON and nothing else: a completed run's,
# with a row for its last pass in each phase and no ERROR block.
expect_one_report() {  # folder passes
  local left
  mapfile -t left < <(ls -A "$1")
  if [ "${#left[@]}" -ne 2 ] || [[ ! "${left[1]}" =~ ^corvasta_[0-9]{14}_SEQ1MQ8T1_256MiB\.json$ ]] ||
    [ "${left[0]}" != "${left[1]%.json}.html" ]; then
    fail "$(basename "$1") should hold exactly one report and its JSON, holds: ${left[*]}"
    return
  fi
  local report="$1/${left[0]}"
  python3 -c "import json,sys; sys.exit(json.load(open(sys.argv[1]))['outcome'] != 'completed')" "${report%.html}.json" ||
    fail "the JSON beside the report is not a completed run's"
  [ "$(grep -c "<b>PASS $2</b>" "$report")" -eq 2 ] || fail "expected a PASS $2 row in each phase"
  expect_line "$report" "</html>"
  grep -q '<h2>ERROR</h2>' "$report" && fail "the completed run's report has an ERROR block"
}

# Waits up to two minutes for a line in a process's output; false when the
# process ended first or the line never came.
wait_for_line() {  # file text pid
  for _ in $(seq 1 1200); do
    grep -qF -- "$2" "$1" && return 0
    kill -0 "$3" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

# Ends the script: a line when all passed, and the exit code.
finish_checks() {  # name
  [ "$failures" -eq 0 ] && echo "$1: all checks passed"
  exit $((failures > 0))
}
