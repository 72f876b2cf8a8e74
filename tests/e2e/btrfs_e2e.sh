#!/usr/bin/env bash
# End to end on btrfs: every profile, one counted pass each, in a subvolume
# of a btrfs striped (raid0) over two RAM-backed loop devices. Its files have
# a device number of their own, which names no block device: the console must
# find both members, name them, add their counters up, and confirm every pass
# with a share between 0.95 and 1.10. A btrfs over one device takes the same
# way with one member; the unit tests' sysfs trees cover it, and this run is
# kept to the striped case to stay cheap. Each device holds more than twice
# the test file: random writes put every block somewhere new.
# Root only; exits 77 (skipped) with the reason where the machine cannot
# give loop devices or btrfs.
# Usage: btrfs_e2e.sh CLI WORK_DIR
source "$(dirname "$0")/e2e_checks.sh"

skip() { echo "SKIPPED: $*"; exit 77; }
[ "$(id -u)" -eq 0 ] || skip "needs root for loop devices"
command -v losetup >/dev/null && command -v mkfs.btrfs >/dev/null || skip "needs losetup and mkfs.btrfs"
grep -qw btrfs /proc/filesystems || skip "the kernel has no btrfs"

images=()
devices=()
mounted=""
# Only what this script made goes.
cleanup() {
  [ -n "$mounted" ] && umount "$mounted"
  for device in "${devices[@]}"; do losetup -d "$device"; done
  rm -f "${images[@]}"
}
trap cleanup EXIT

rm -rf "$work"
mkdir -p "$work/btrfs"
work=$(realpath "$work")
for part in a b; do
  image=/dev/shm/corvasta-btrfs-$$-$part.img
  images+=("$image")
  truncate -s 640M "$image" || skip "no room in /dev/shm"
  device=$(losetup --find --show "$image") || skip "no free loop device"
  devices+=("$device")
  # An earlier user may have left the loop device's counters switched off.
  echo 1 >"/sys/block/${device#/dev/}/queue/iostats"
done
mkfs.btrfs -q -f -d raid0 -m raid0 "${devices[@]}" >/dev/null || skip "mkfs.btrfs failed"
mount "${devices[0]}" "$work/btrfs" || skip "the btrfs does not mount"
mounted=$work/btrfs
btrfs subvolume create "$work/btrfs/sub" >/dev/null || fail "no subvolume"

"$cli" --json --profile all --passes 1 --size 256MiB "$work/btrfs/sub" >"$work/all.json" 2>"$work/all.err"
code=$?
cat "$work/all.err"
[ "$code" -eq 0 ] || fail "the run exited $code"
expected=$(for device in "${devices[@]}"; do basename "$device"; done | sort | paste -sd+)
expect_line "$work/all.err" "File system: btrfs, device: $expected"
python3 - "$work/all.json" "$expected" <<'PY' || fail "the document's storage or shares"
import json, sys
document = json.load(open(sys.argv[1]))
bad = []
for run in document["runs"]:
    storage = run["storage"]
    if storage["fileSystem"] != "btrfs" or storage["device"] != sys.argv[2]:
        bad.append(f"{run['profile']}: storage {storage}")
    passes = run["read"] + run["write"]
    if len(passes) != 2:
        bad.append(f"{run['profile']}: {len(passes)} passes")
    for record in passes:
        share = record["deviceShare"]
        if share is None or not 0.95 <= share <= 1.10:
            bad.append(f"{run['profile']} pass {record['pass']}: share {share}")
print("\n".join(bad))
sys.exit(1 if bad or len(document["runs"]) != 4 else 0)
PY

finish_checks "btrfs end to end"
