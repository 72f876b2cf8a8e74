#!/usr/bin/env bash
# A test size that a FAT file system cannot hold is refused before anything
# is created: on vfat over a loop device, as root.
# Usage: fat_e2e.sh CLI WORK_DIR
here=$(dirname "$(realpath "$0")")
# shellcheck source=e2e_checks.sh
source "$here/e2e_checks.sh"
mounted=""
cleanup() {
  [ -n "$mounted" ] && umount "$mounted"
  rm -f "$work/fat.img"
}
trap cleanup EXIT

rm -rf "$work"
mkdir -p "$work/fat"
work=$(realpath "$work")
if ! grep -qw vfat /proc/filesystems && ! modprobe -q vfat 2>/dev/null; then
  echo "SKIP: this kernel has no vfat file system"
  exit 77
fi
[ "$(id -u)" -eq 0 ] || { echo "SKIP: mounting a loop device needs root"; exit 77; }
# Without the FAT mount the run would go ahead, 4 GiB of it, on the disk below.
if ! { truncate -s 64M "$work/fat.img" && mkfs.vfat -F 32 "$work/fat.img" >/dev/null &&
       mount -o loop "$work/fat.img" "$work/fat"; }; then
  fail "mounting vfat over a loop device"
  finish_checks "FAT end to end"
fi
mounted=$work/fat

out=$work/refused.out
"$cli" "$work/fat" --passes 1 --size 4GiB >"$out" 2>&1 &
expect_exit $! "$out" 1
expect_line "$out" "The file system (vfat) cannot hold a test file of 4 GiB or more"
[ -z "$(ls -A "$work/fat")" ] || fail "the refused run left $(ls -A "$work/fat")"
finish_checks "FAT end to end"
