#!/usr/bin/env bash
# Compares the engine's pass with fio on the same file and the same profile
# (1 MiB requests, queue depth 8, one thread, direct, 5 s), read and write.
# Single passes vary by +-20% on a shared machine, so each round runs every
# program twice in mirrored order (A B B A for each pair), and the figures
# are the median and the mean of the per-round ratios.
#
# Pairs: the engine on io_uring against fio's default io_uring profile and
# against fio with --fixedbufs --registerfiles; the engine on native AIO
# (io_uring denied by the tests' seccomp launcher) against fio's libaio.
# CPU seconds per GiB come from the kernel's accounting of the process doing
# the I/O over its pass: getrusage in the engine's bench program, and fio's
# own usr/sys figures of its job process.
#
# Usage: bench/compare.sh [--ram] [--rounds N] [--size MIB] [FOLDER]
#   --ram   run on a RAM-backed ext4 (bench/ram_device.sh, root only) instead of FOLDER
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
ram=0 rounds=5 size=1024 folder=.
while [ $# -gt 0 ]; do
  case "$1" in
    --ram) ram=1 ;;
    --rounds) rounds=$2; shift ;;
    --size) size=$2; shift ;;
    *) folder=$1 ;;
  esac
  shift
done
[ "$rounds" -ge 5 ] || { echo "compare.sh: at least 5 rounds" >&2; exit 2; }

# Presets are read from the folder cmake runs in.
( cd "$root" && cmake --preset release >/dev/null &&
  cmake --build --preset release -j2 --target corvasta-bench deny-io-uring >/dev/null )
bench="$root/build/release/bench/corvasta-bench"
deny="$root/build/release/bench/deny-io-uring"

mount=""
cleanup() {
  rm -f "${file:-}" "${results:-}"
  [ -z "$mount" ] || bash "$root/bench/ram_device.sh" down "$mount"
}
trap cleanup EXIT
if [ "$ram" -eq 1 ]; then
  mount=$(bash "$root/bench/ram_device.sh" up $((size + 512)))
  folder=$mount
fi
folder=$(cd "$folder" && pwd)
file="$folder/corvasta-bench.tmp"
results=$(mktemp)
rm -f "$file"  # the test file is always made new
"$bench" prepare "$file" "$size"
echo "file: $file (${size} MiB) on $(findmnt -n -o SOURCE --target "$folder"), $rounds rounds"

engine_pass() {  # prints: MB/s, CPU seconds, GiB moved
  local line
  if [ "$1" = libaio ]; then line=$("$deny" "$bench" "$2" "$file" "$size")
  else line=$("$bench" "$2" "$file" "$size"); fi
  [ "${line##* }" = "$1" ] || { echo "the engine ran on ${line##* }, not $1" >&2; exit 1; }
  echo "${line% *}"
}

fio_pass() {  # prints: MB/s, CPU seconds, GiB moved
  local engine=$1 direction=$2; shift 2
  fio --name=pass --filename="$file" --size="${size}M" --rw="$direction" --bs=1M --iodepth=8 \
      --direct=1 --ioengine="$engine" --numjobs=1 --time_based --runtime=5 "$@" \
      --output-format=json | python3 -c '
import json, sys
job = json.load(sys.stdin)["jobs"][0]
side = job["read"] if job["read"]["io_bytes"] > 0 else job["write"]
seconds = side["runtime"] / 1000.0
print("%.2f %.4f %.4f" % (side["io_bytes"] / seconds / 1e6,
      (job["usr_cpu"] + job["sys_cpu"]) / 100.0 * seconds, side["io_bytes"] / 2**30))'
}

run() {  # direction round program
  local figures
  case "$3" in
    ours-uring) figures=$(engine_pass io_uring "$1") ;;
    ours-aio) figures=$(engine_pass libaio "$1") ;;
    fio-default) figures=$(fio_pass io_uring "$1") ;;
    fio-fixed) figures=$(fio_pass io_uring "$1" --fixedbufs --registerfiles) ;;
    fio-libaio) figures=$(fio_pass libaio "$1") ;;
  esac
  echo "$1 $2 $3 $figures" | tee -a "$results"
}

order=(ours-uring fio-default fio-fixed ours-aio fio-libaio)
for direction in read write; do
  for round in $(seq 1 "$rounds"); do
    for program in "${order[@]}"; do run "$direction" "$round" "$program"; done
    for ((i = ${#order[@]} - 1; i >= 0; i--)); do run "$direction" "$round" "${order[i]}"; done
  done
done
python3 "$root/bench/compare_report.py" "$results"
