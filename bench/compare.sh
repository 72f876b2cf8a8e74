#!/usr/bin/env bash
# Compares the engine's pass with fio on the same file and the same profile
# (by default SEQ1M-Q8T1: 1 MiB requests in order, queue depth 8, one
# thread; any profile name the console takes, RND4K-Q32T16 for 4 KiB
# requests at random offsets, 32 in flight on each of 16 threads, which fio
# runs as --numjobs=16 --group_reporting; always direct, 5 s), read and write.
# Single passes vary by +-20% on a shared machine, so each round runs every
# program twice in mirrored order (A B B A for each pair), and the figures
# are the median and the mean of the per-round ratios.
#
# Pairs: the engine on io_uring against fio's default io_uring profile and
# against fio with --fixedbufs --registerfiles, and, as root, against fio at
# its best: that plus buffers on huge pages (--iomem=mmaphuge on a hugetlbfs
# this script mounts, with vm.nr_hugepages raised for the run and restored
# after); the engine on native AIO (io_uring denied by the tests' seccomp
# launcher) against fio's libaio. Latencies are fio's total latency (from
# submission to completion, --lat_percentiles=1), as the engine times them.
# CPU seconds per GiB come from the kernel's accounting of the process doing
# the I/O over its pass: getrusage in the engine's bench program (all its
# threads), and fio's own usr/sys figures of its job processes (with
# --group_reporting fio gives the jobs' mean share of a CPU, so it is taken
# times the jobs).
#
# Usage: bench/compare.sh [--ram] [--profile P] [--rounds N] [--size MIB] [--programs "A B ..."] [FOLDER]
#   --ram   run on a RAM-backed ext4 (bench/ram_device.sh, root only) instead of FOLDER
#   --programs  only these of the pairs' programs (ours-uring fio-default ...), to
#           keep a series of profiles within a time budget
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
ram=0 rounds=5 size=1024 folder=. profile=SEQ1M-Q8T1 only=""
while [ $# -gt 0 ]; do
  case "$1" in
    --ram) ram=1 ;;
    --profile) profile=$2; shift ;;
    --rounds) rounds=$2; shift ;;
    --size) size=$2; shift ;;
    --programs) only=$2; shift ;;
    *) folder=$1 ;;
  esac
  shift
done
[ "$rounds" -ge 5 ] || { echo "compare.sh: at least 5 rounds" >&2; exit 2; }
# fio's shape of the profile: request size, depth, jobs, and "rand" for
# random order. The engine's bench program checks the rest of the grammar.
profile=${profile^^}
[[ "$profile" =~ ^(SEQ|RND)([0-9]+)([KM]?)-Q([0-9]+)T([0-9]+)$ ]] ||
  { echo "compare.sh: unknown profile $profile" >&2; exit 2; }
bs=${BASH_REMATCH[2]}${BASH_REMATCH[3],,} depth=${BASH_REMATCH[4]} jobs=${BASH_REMATCH[5]} order=""
[ "${BASH_REMATCH[1]}" = RND ] && order=rand
random=()
[ -z "$order" ] || random=(--norandommap --randrepeat=0)

# Presets are read from the folder cmake runs in.
( cd "$root" && cmake --preset release >/dev/null &&
  cmake --build --preset release -j2 --target corvasta-bench deny-io-uring >/dev/null )
bench="$root/build/release/bench/corvasta-bench"
deny="$root/build/release/bench/deny-io-uring"

mount="" huge="" pages_before=""
cleanup() {
  rm -f "${file:-}" "${results:-}"
  [ -z "$mount" ] || bash "$root/bench/ram_device.sh" down "$mount"
  if [ -n "$huge" ]; then
    umount "$huge" && rmdir "$huge"
    echo "$pages_before" >/proc/sys/vm/nr_hugepages
  fi
}
trap cleanup EXIT
# fio's buffers (depth x request size, 32 MiB at most here) on 2 MiB pages.
huge_pages_up() {
  pages_before=$(cat /proc/sys/vm/nr_hugepages)
  echo $((pages_before + 24)) >/proc/sys/vm/nr_hugepages
  huge=/mnt/corvasta-huge-$$
  mkdir "$huge" && mount -t hugetlbfs none "$huge"
}
programs=(ours-uring fio-default fio-fixed ours-aio fio-libaio)
if [ "$(id -u)" -eq 0 ]; then
  huge_pages_up
  programs=(ours-uring fio-default fio-fixed fio-huge ours-aio fio-libaio)
else
  echo "not root: no huge-page anchor for fio"
fi
[ -z "$only" ] || read -r -a programs <<<"$only"
if [ "$ram" -eq 1 ]; then
  mount=$(bash "$root/bench/ram_device.sh" up $((size + 512)))
  folder=$mount
fi
folder=$(cd "$folder" && pwd)
file="$folder/corvasta-bench.tmp"
results=$(mktemp)
rm -f "$file"  # the test file is always made new
"$bench" prepare "$file" "$size"
echo "file: $file (${size} MiB) on $(findmnt -n -o SOURCE --target "$folder"), $profile, $rounds rounds"

engine_pass() {  # prints: MB/s, CPU seconds, GiB moved, IOPS, p50 and p99 in us
  local line
  if [ "$1" = libaio ]; then line=$("$deny" "$bench" "$2" "$file" "$size" "$profile")
  else line=$("$bench" "$2" "$file" "$size" "$profile"); fi
  [ "${line##* }" = "$1" ] || { echo "the engine ran on ${line##* }, not $1" >&2; exit 1; }
  echo "${line% *}"
}

fio_pass() {  # prints: MB/s, CPU seconds, GiB moved, IOPS, p50 and p99 in us
  local engine=$1 direction=$2; shift 2
  fio --name=pass --filename="$file" --size="${size}M" --rw="$order$direction" --bs="$bs" \
      --iodepth="$depth" "${random[@]}" --direct=1 --ioengine="$engine" \
      --numjobs="$jobs" --group_reporting \
      --time_based --runtime=5 --lat_percentiles=1 --percentile_list=50:99 "$@" \
      --output-format=json | python3 -c '
import json, sys
jobs = int(sys.argv[1])
job = json.load(sys.stdin)["jobs"][0]
side = job["read"] if job["read"]["io_bytes"] > 0 else job["write"]
seconds = side["runtime"] / 1000.0
percentile = side["lat_ns"]["percentile"]
print("%.2f %.4f %.4f %.1f %.2f %.2f" % (side["io_bytes"] / seconds / 1e6,
      (job["usr_cpu"] + job["sys_cpu"]) / 100.0 * seconds * jobs, side["io_bytes"] / 2**30,
      side["total_ios"] / seconds, percentile["50.000000"] / 1000.0, percentile["99.000000"] / 1000.0))' "$jobs"
}

run() {  # direction round program
  local figures
  case "$3" in
    ours-uring) figures=$(engine_pass io_uring "$1") ;;
    ours-aio) figures=$(engine_pass libaio "$1") ;;
    fio-default) figures=$(fio_pass io_uring "$1") ;;
    fio-fixed) figures=$(fio_pass io_uring "$1" --fixedbufs --registerfiles) ;;
    fio-huge) figures=$(fio_pass io_uring "$1" --fixedbufs --registerfiles --iomem="mmaphuge:$huge/fio-buffers") ;;
    fio-libaio) figures=$(fio_pass libaio "$1") ;;
  esac
  echo "$1 $2 $3 $figures" | tee -a "$results"
}

for direction in read write; do
  for round in $(seq 1 "$rounds"); do
    for program in "${programs[@]}"; do run "$direction" "$round" "$program"; done
    for ((i = ${#programs[@]} - 1; i >= 0; i--)); do run "$direction" "$round" "${programs[i]}"; done
  done
done
python3 "$root/bench/compare_report.py" "$results" "$profile"
