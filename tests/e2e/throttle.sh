# Shared by the end-to-end scripts that hold a device to a set speed: one
# block-layer throttle group, blkio on cgroup v1 or io.max on cgroup v2.
# Sourced; make_group sets group, which the caller removes when done.
# Loop devices come from bench/ram_device.sh; where the machine cannot give
# them, the script is skipped (exit 77) with the reason.
ram_device=$(dirname "${BASH_SOURCE[0]}")/../../bench/ram_device.sh

skip() { echo "SKIPPED: $*"; exit 77; }

need_loop_devices() {
  [ "$(id -u)" -eq 0 ] || skip "needs root for a loop device and a throttle group"
  command -v losetup >/dev/null && command -v mkfs.ext4 >/dev/null || skip "needs losetup and mkfs.ext4"
}

make_group() {
  if [ -f /sys/fs/cgroup/blkio/blkio.throttle.write_bps_device ]; then
    group=/sys/fs/cgroup/blkio/corvasta-e2e-$$-${1:-0}
    mkdir "$group"
  elif grep -qw io /sys/fs/cgroup/cgroup.controllers 2>/dev/null; then
    grep -qw io /sys/fs/cgroup/cgroup.subtree_control || echo +io >/sys/fs/cgroup/cgroup.subtree_control
    group=/sys/fs/cgroup/corvasta-e2e-$$-${1:-0}
    mkdir "$group"
  else
    return 1
  fi
}

limit_device() {  # group major:minor read_bytes_per_second write_bytes_per_second (0: no limit)
  if [ -f "$1/blkio.throttle.write_bps_device" ]; then
    [ "$3" = 0 ] || echo "$2 $3" >"$1/blkio.throttle.read_bps_device" || return 1
    [ "$4" = 0 ] || echo "$2 $4" >"$1/blkio.throttle.write_bps_device"
  else
    local read=max write=max
    [ "$3" = 0 ] || read=$3
    [ "$4" = 0 ] || write=$4
    echo "$2 rbps=$read wbps=$write" >"$1/io.max"
  fi
}

remove_group() {  # group; its processes may take a moment to leave it
  for _ in 1 2 3 4 5; do rmdir "$1" 2>/dev/null && return; sleep 0.2; done
}
