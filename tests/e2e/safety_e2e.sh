#!/usr/bin/env bash
# End to end, for what a run must never harm:
#  - links named like the run's next temporary folders, pointing at a folder
#    of other files: the run fails to create its folder and deletes nothing
#    there;
#  - a second start in a folder where a run is live, during a pause, a pass
#    and the countdown: each second start fails at once and leaves nothing,
#    and the first run completes with its full report.
# Usage: safety_e2e.sh CLI WORK_DIR [RUNNER]   (RUNNER: cmake/wine-run.sh for the .exe)
source "$(dirname "$0")/e2e_checks.sh"

rm -rf "$work"
mkdir -p "$work/links/bench" "$work/links/elsewhere" "$work/shared"
work=$(realpath "$work")

# shellcheck disable=SC2086
start_cli() {  # folder output [options...]
  local folder=$1 output=$2
  shift 2
  (cd "$folder" && exec $runner "$cli" "$@") >"$output" 2>&1
}

# --- Links in the place of the temporary folder -------------------------
# The run's tag is its tick count in milliseconds, which here and under Wine
# is the monotonic clock. The links cover the last half minute of it and the
# next stretch; the run is started once that stretch has begun, with at least
# ten seconds of it left. Under Wine a run was seen, now and then, to take a
# tag outside a stretch that began at the clock: the half minute behind
# covers a tick count that lags.
echo "other" >"$work/links/elsewhere/precious.txt"
mkdir "$work/links/elsewhere/sub"
echo "deeper" >"$work/links/elsewhere/sub/deeper.txt"
links=$(python3 - "$work/links/bench" "$work/links/elsewhere" <<'PY'
import os, sys, time
bench, target = sys.argv[1], sys.argv[2]
now = lambda: int(time.clock_gettime(time.CLOCK_MONOTONIC) * 1000)
for attempt in range(5):
    first = now() + 1000
    for tick in range(first - 31000, first + 20000):
        name = os.path.join(bench, "corvastatmp%08X" % (tick & 0xFFFFFFFF))
        if not os.path.lexists(name):
            os.symlink(target, name)
    if now() < first + 10000:
        break
while now() < first:
    time.sleep(0.01)
print(len(os.listdir(bench)))
PY
)
start_cli "$work/links/bench" "$work/links.out" --passes 1 --size 256MiB &
expect_exit $! "$work/links.out" 1
expect_line "$work/links.out" "Error: Unable to create "
[ "$(ls -A "$work/links/elsewhere" | sort | tr '\n' ' ')" = "precious.txt sub " ] ||
  fail "the linked folder now holds: $(ls -A "$work/links/elsewhere")"
[ -f "$work/links/elsewhere/precious.txt" ] && [ -f "$work/links/elsewhere/sub/deeper.txt" ] ||
  fail "files of the linked folder were deleted"
[ "$(find "$work/links/bench" -maxdepth 1 -type l | wc -l)" -eq "$links" ] || fail "links were removed"
[ -e "$work/links/bench/result_something_happened.txt" ] && fail "the marker was left behind"

# --- A second start while a run is live ------------------------------------
start_cli "$work/shared" "$work/first.out" --passes 2 --size 256MiB &
first=$!
seconds=()
second() {  # name
  start_cli "$work/shared" "$work/second-$1.out" --passes 1 --size 256MiB &
  seconds+=("$1:$!")
}
if wait_for_line "$work/first.out" "Read 1/2" "$first"; then
  second pause
  sleep 3
  second pass
else
  fail "the first run never reached its first counted pass"
fi
if wait_for_line "$work/first.out" "Writing between 5 seconds" "$first"; then
  second countdown
fi
for entry in "${seconds[@]}"; do
  name=${entry%%:*}
  expect_exit "${entry#*:}" "$work/second-$name.out" 1
  expect_line "$work/second-$name.out" "Error: Another benchmark is running in this folder"
  grep -qF "Report: " "$work/second-$name.out" && fail "the second start during the $name left a report"
done
expect_exit "$first" "$work/first.out" 0
[ "${#seconds[@]}" -eq 3 ] || fail "only ${#seconds[@]} second starts were made"
expect_line "$work/first.out" "Benchmark completed - HTML log saved in the benchmark folder."
expect_one_report "$work/shared" 2

# --- A current directory that is gone -------------------------------------
# Natively only: a Windows process's current directory cannot be deleted.
if [ -z "$runner" ]; then
  mkdir "$work/gone"
  before=$(ls -A /)
  (cd "$work/gone" && rmdir "$work/gone" && exec "$cli" --passes 1 --size 256MiB) >"$work/gone.out" 2>&1 &
  expect_exit $! "$work/gone.out" 1
  expect_line "$work/gone.out" "Error: Unable to read the current directory"
  [ "$(ls -A /)" = "$before" ] || fail "the run in a deleted folder changed the root"
fi

finish_checks "safety end to end"
