#!/usr/bin/env bash
# End to end, `compare` over real runs: two RAM-backed loop devices held by
# a block-layer throttle group to 400 and 200 MB/s each way, one short run on
# each with its own label; their JSON documents, left beside the reports,
# must compare as -50% for reading and for writing (within 3 points), and the
# other way round as +100%, with the drive, label and host of each run.
# Root only (loop devices, cgroups); exits 77 (skipped) with the reason where
# the machine cannot give a throttled loop device.
# Usage: compare_throttled_e2e.sh CLI WORK_DIR
source "$(dirname "$0")/e2e_checks.sh"
source "$(dirname "$0")/throttle.sh"
need_loop_devices

group=""
mounts=()
cleanup() {
  [ -n "$group" ] && remove_group "$group"
  for mount in "${mounts[@]}"; do bash "$ram_device" down "$mount" >/dev/null; done
}
trap cleanup EXIT

rm -rf "$work" && mkdir -p "$work"
make_group || skip "no block-layer throttle here (neither cgroup v1 blkio nor v2 io.max)"

# One short run (one pass per phase on a small file) on a new device held
# to the given speed, labelled; sets left to the JSON document it left.
run_once() {  # label bytes_per_second
  local mount
  mount=$(bash "$ram_device" up 512) || skip "no RAM-backed loop device could be made"
  mounts+=("$mount")
  local device_name
  device_name=$(basename "$(findmnt -n -o SOURCE "$mount")")
  limit_device "$group" "$(cat "/sys/block/$device_name/dev")" "$2" "$2" ||
    skip "the throttle group refuses a limit on $device_name"
  mkdir "$mount/bench"
  (echo "$BASHPID" >"$group/cgroup.procs" && cd "$mount/bench" &&
    exec "$cli" --passes 1 --size 256MiB --label "$1") >"$work/$1.out" 2>&1
  local code=$?
  cat "$work/$1.out"
  [ "$code" -eq 0 ] || fail "the run labelled $1 exited $code"
  left=$(compgen -G "$mount/bench/corvasta_*_SEQ1MQ8T1_256MiB.json")
}

# The figures test compare only where the device held its limit: both best
# passes within 3% of it. A busy host may slow one; then it runs once more.
held() {  # document bytes_per_second
  python3 -c "import json,sys; d=json.load(open(sys.argv[1])); l=int(sys.argv[2])/1e6
sys.exit(not all(abs(d[k]/l - 1) <= 0.03 for k in ('bestReadMBps', 'bestWriteMBps')))" "$1" "$2"
}

run_at() {  # label bytes_per_second
  run_once "$1" "$2"
  [ -f "$left" ] && ! held "$left" "$2" || return 0
  echo "the device of $1 did not hold $(($2 / 1000000)) MB/s (a busy host); once more"
  run_once "$1" "$2"
}

run_at fast 400000000
fast=$left
run_at slow 200000000
slow=$left
[ -f "$fast" ] && [ -f "$slow" ] || { fail "a run left no JSON beside its report"; finish_checks "compare throttled end to end"; }

# Kept for a look, as the README shows them.
cp "$fast" "$work/fast.json" && cp "$slow" "$work/slow.json"
"$cli" compare --html "$work/compare.html" "$work/fast.json" "$work/slow.json" | tee "$work/table.txt"
"$cli" compare --json "$fast" "$slow" >"$work/forward.json" || fail "compare exited $?"
"$cli" compare --json "$slow" "$fast" >"$work/backward.json" || fail "compare the other way exited $?"
# shellcheck disable=SC2016
python3 - "$work/forward.json" "$work/backward.json" "$fast" "$slow" "$(hostname)" <<'PY' || fail "the comparison's figures"
import json, sys
forward, backward, fast, slow = (json.load(open(p)) for p in sys.argv[1:5])
host = sys.argv[5]
problems = []
for phase in ("read", "write"):
    change = forward["profiles"][0]["rows"][1][phase + "MBpsChangePercent"]
    back = backward["profiles"][0]["rows"][1][phase + "MBpsChangePercent"]
    print(f"{phase}: 200 against 400 MB/s {change:+.1f}%, the other way {back:+.1f}%")
    if abs(change + 50.0) > 3.0:
        problems.append(f"{phase} change {change:.1f}%, not -50% within 3 points")
    if abs((100 + back) * (100 + change) / 1e4 - 1) > 1e-6:
        problems.append(f"{phase} change the other way {back:.1f}% does not undo {change:.1f}%")
for name, comparison, first, second in (("forward", forward, fast, slow), ("backward", backward, slow, fast)):
    for run, document in zip(comparison["runs"], (first, second)):
        if (run["label"], run["host"], run["drive"]) != (document["label"], host, document["drive"]["model"]):
            problems.append(f"{name} run {run['run']}: {run['label']}, {run['host']}, {run['drive']}")
for problem in problems:
    print("FAIL:", problem)
sys.exit(1 if problems else 0)
PY
finish_checks "compare throttled end to end"
