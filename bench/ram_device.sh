#!/usr/bin/env bash
# A RAM-backed block device for the comparison: an ext4 file system on a loop
# device over a file in /dev/shm, fast enough that the cost of the program
# doing the I/O shows. Root only. Everything it makes carries this run's
# process id, and "down" removes only what "up" made.
# Usage: bench/ram_device.sh up SIZE_MIB    (prints the mount point)
#        bench/ram_device.sh down MOUNT_POINT
set -euo pipefail
[ "$(id -u)" -eq 0 ] || { echo "ram_device.sh: needs root (losetup, mount)" >&2; exit 1; }

up() {
  local size=$1 name="corvasta-ram-$$"
  local image="/dev/shm/$name.img" mount="/mnt/$name"
  truncate -s "${size}M" "$image"
  local device
  device=$(losetup --find --show "$image") || { rm -f "$image"; exit 1; }
  # A loop device keeps the queue settings an earlier user gave it; its
  # counters are what the runs here are checked against.
  echo 1 >"/sys/block/${device#/dev/}/queue/iostats"
  mkfs.ext4 -q -F -E lazy_itable_init=0,lazy_journal_init=0 "$device" && mkdir "$mount" && mount "$device" "$mount" ||
    { losetup -d "$device"; rmdir "$mount" 2>/dev/null; rm -f "$image"; exit 1; }
  echo "$mount"
}

down() {
  local mount=$1
  [[ "$mount" =~ ^/mnt/corvasta-ram-[0-9]+$ ]] || { echo "not ours: $mount" >&2; exit 1; }
  local image="/dev/shm/${mount#/mnt/}.img" device
  device=$(findmnt -n -o SOURCE "$mount")
  umount "$mount"
  rmdir "$mount"
  losetup -d "$device"
  rm -f "$image"
}

case "${1:-}" in
  up) up "${2:?size in MiB}" ;;
  down) down "${2:?mount point}" ;;
  *) echo "usage: ram_device.sh up SIZE_MIB | down MOUNT_POINT" >&2; exit 2 ;;
esac
