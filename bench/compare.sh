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
cmake --preset release -S "$root" >/dev/null
cmake --build --preset release -j"$(nproc)" --target corvasta-bench >/dev/null
bench="$root/build/release/bench/corvasta-bench"
file="$folder/corvasta-bench.tmp"
trap 'rm -f "$file"' EXIT
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

printf '%-6s %5s %10s %10s %7s %14s %14s\n' pass round corvasta fio ratio "cpu s/GiB ours" "cpu s/GiB fio"
for direction in read write; do
  for round in $(seq 1 "$rounds"); do
    read -r ours ours_cpu ours_gib < <("$bench" "$direction" "$file" "$size")
    read -r theirs theirs_cpu theirs_gib < <(fio_pass "$direction")
    python3 -c "
o, t = $ours, $theirs
print('%-6s %5d %10.2f %10.2f %7.3f %14.4f %14.4f' % ('$direction', $round, o, t, o / t,
      $ours_cpu / $ours_gib, $theirs_cpu / $theirs_gib))"
  done
done
