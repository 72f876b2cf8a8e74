#!/usr/bin/env bash
# Runs one read and one write pass of the engine and of fio with the same
# profile (1 MiB, queue depth 8, one thread, direct, io_uring, 5 s) on the
# same file, alternating, and prints each ratio and the CPU seconds per GiB.
# Usage: bench/compare.sh [folder] [size MiB] [rounds]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
folder=$(cd "${1:-.}" && pwd)
size=${2:-1024}
rounds=${3:-3}
# Presets are read from the folder cmake runs in.
( cd "$root" && cmake --preset release >/dev/null &&
  cmake --build --preset release -j"$(nproc)" --target corvasta-bench >/dev/null )
bench="$root/build/release/bench/corvasta-bench"
file="$folder/corvasta-bench.tmp"
results=$(mktemp)
trap 'rm -f "$file" "$results"' EXIT
"$bench" prepare "$file" "$size"

fio_pass() {  # prints: MB/s, CPU seconds, GiB moved
  fio --name=pass --filename="$file" --size="${size}M" --rw="$1" --bs=1M --iodepth=8 \
      --direct=1 --ioengine=io_uring --numjobs=1 --time_based --runtime=5 \
      --output-format=json | python3 -c '
import json, sys
job = json.load(sys.stdin)["jobs"][0]
side = job["read"] if job["read"]["io_bytes"] > 0 else job["write"]
seconds = side["runtime"] / 1000.0
print("%.2f %.4f %.4f" % (side["io_bytes"] / seconds / 1e6,
      (job["usr_cpu"] + job["sys_cpu"]) / 100.0 * seconds, side["io_bytes"] / 2**30))'
}

for direction in read write; do
  for round in $(seq 1 "$rounds"); do
    echo "$direction $round $("$bench" "$direction" "$file" "$size") $(fio_pass "$direction")" >>"$results"
  done
done
python3 - "$results" <<'REPORT'
import sys
rows = [line.split() for line in open(sys.argv[1])]
print("%-6s %5s %10s %10s %7s %15s %15s" % ("pass", "round", "corvasta", "fio", "ratio",
      "cpu s/GiB ours", "cpu s/GiB fio"))
for direction in ("read", "write"):
    mine = [r for r in rows if r[0] == direction]
    for d, n, o, oc, og, t, tc, tg in mine:
        o, oc, og, t, tc, tg = map(float, (o, oc, og, t, tc, tg))
        print("%-6s %5s %10.2f %10.2f %7.3f %15.4f %15.4f" % (d, n, o, t, o / t, oc / og, tc / tg))
    ours = sum(float(r[2]) for r in mine) / len(mine)
    theirs = sum(float(r[5]) for r in mine) / len(mine)
    cpu_ours = sum(float(r[3]) for r in mine) / sum(float(r[4]) for r in mine)
    cpu_theirs = sum(float(r[6]) for r in mine) / sum(float(r[7]) for r in mine)
    print("%-6s %5s %10.2f %10.2f %7.3f %15.4f %15.4f" % (direction, "mean", ours, theirs,
          ours / theirs, cpu_ours, cpu_theirs))
REPORT
