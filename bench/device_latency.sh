#!/usr/bin/env bash
# Runs a command that does I/O under FOLDER and, from two seconds into it,
# records one second of the block layer's issue and completion events for
# the disk under FOLDER. Prints the command's output, then the disk's own
# latency (issue to completion, µs): requests, mean and percentiles.
#
# A program's latency runs from its submission to its sight of the
# completion; the disk's runs from the driver's start to its end. Set side
# by side, they show how much of a program's latency is the device's queue
# and how much is the way between program and device.
# Root only; needs perf (Debian: linux-perf). The tracing slows the I/O a
# little, alike for every program.
#
# Usage: bench/device_latency.sh LABEL FOLDER COMMAND [ARG...]
set -euo pipefail
[ "$(id -u)" -eq 0 ] || { echo "device_latency.sh: needs root (perf tracepoints)" >&2; exit 1; }
command -v perf >/dev/null || { echo "device_latency.sh: needs perf (apt-get install linux-perf)" >&2; exit 1; }
[ "$#" -ge 3 ] || { echo "usage: device_latency.sh LABEL FOLDER COMMAND [ARG...]" >&2; exit 2; }
label=$1 folder=$2
shift 2
[ -d "$folder" ] || { echo "device_latency.sh: no folder $folder" >&2; exit 2; }
source=$(findmnt -n -o SOURCE --target "$folder")
parent=$(lsblk -ndo PKNAME "$source")
disk=${parent:+/dev/$parent}
disk=${disk:-$source}
number=$(lsblk -ndo MAJ:MIN "$disk" | tr -d ' ' | tr ':' ',')
trace=$(mktemp) output=$(mktemp)
trap 'rm -f "$trace" "$output"' EXIT

"$@" >"$output" &
sleep 2
perf record -q -m 4096 -o "$trace" -a -e block:block_rq_issue -e block:block_rq_complete \
  -- sleep 1 2>/dev/null
wait $!
cat "$output"
perf script -i "$trace" -F time,event,trace 2>/dev/null | python3 -c '
import re, sys
label, number = sys.argv[1], sys.argv[2]
event = re.compile(r"\s*([\d.]+):\s+block:block_rq_(issue|complete):\s+(\d+,\d+)\s.*?(\d+) \+ \d+")
issued, latencies = {}, []
for line in sys.stdin:
    found = event.match(line)
    if not found or found.group(3) != number:
        continue
    when, kind, sector = float(found.group(1)), found.group(2), found.group(4)
    if kind == "issue":
        issued[sector] = when
    elif sector in issued:
        latencies.append((when - issued.pop(sector)) * 1e6)
latencies.sort()
n = len(latencies)
if n == 0:
    sys.exit("device_latency.sh: no requests seen on " + number)
print("%s device n=%d mean %.1f " % (label, n, sum(latencies) / n) +
      " ".join("p%g %.1f" % (f * 100, latencies[min(n - 1, int(f * n))])
               for f in (0.01, 0.1, 0.5, 0.9, 0.99)))
' "$label" "$number"
