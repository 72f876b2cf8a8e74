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

# Ends the script: a line when all passed, and the exit code.
finish_checks() {  # name
  [ "$failures" -eq 0 ] && echo "$1: all checks passed"
  exit $((failures > 0))
}
