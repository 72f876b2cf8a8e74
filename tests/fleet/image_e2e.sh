#!/usr/bin/env bash
# The image built from nothing by scripts/image.sh, run as a container sees
# the machine: with `podman run` where containers can start, otherwise its
# exported file system in a chroot with /proc, /sys, /dev and the folder to
# measure (ext4 over a RAM-backed loop device) bound in. Side by side:
#  - the storage Job's own arguments (from the rendered manifests, with the
#    smallest run): a completed run whose device shares prove every pass and
#    whose log, read back as `kubectl logs --prefix` prints it, gives a
#    comparison that names the node;
#  - the same with io_uring denied, as container runtimes deny it: libaio.
# Usage: image_e2e.sh STATIC_CLI WORK_DIR DENY_IO_URING   (exit 77: skipped)
here=$(dirname "$(realpath "$0")")
source_dir=$(realpath "$here/../..")
# shellcheck source=../e2e/e2e_checks.sh
source "$here/../e2e/e2e_checks.sh"
deny=$(realpath "$3")
skip() { echo "SKIP: $*"; exit 77; }
command -v podman >/dev/null || skip "podman is not installed"
command -v kubectl >/dev/null || skip "kubectl is not installed"
[ "$(id -u)" -eq 0 ] || skip "a chroot and loop devices need root"

mounted=() statistics=()
# Only what this script mounted is unmounted, innermost first; a loop mount
# frees its device.
cleanup() {
  for setting in "${statistics[@]}"; do echo "${setting#*=}" >"/sys/block/${setting%=*}/queue/iostats"; done
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do umount "${mounted[i]}"; done
  rm -rf "$shm"
}
shm=$(mktemp -d /dev/shm/corvasta-image-e2e.XXXXXX)
trap cleanup EXIT
rm -rf "$work"
mkdir -p "$work"
work=$(realpath "$work")

image=$(bash "$source_dir/scripts/image.sh" "$cli" | tail -n1) || { fail "image.sh"; finish_checks image; }
size=$(podman image inspect --format '{{.Size}}' "$image")
echo "$image: $size bytes"
[ "$size" -lt 10000000 ] || fail "the image is $size bytes, over 10 MB"
entrypoint=$(podman image inspect --format '{{index .Config.Entrypoint 0}}' "$image")

# A RAM-backed ext4 for each run, so that neither counts the other's bytes.
# A loop device keeps what was set on it before: its statistics are switched
# on while it is ours.
disk() {  # name
  local file=$shm/$1.img
  truncate -s 400M "$file" && mkfs.ext4 -q "$file" && mkdir -p "$work/$1" &&
    mount -o loop "$file" "$work/$1" && mounted+=("$work/$1") || return 1
  local loop
  loop=$(basename "$(findmnt -n -o SOURCE "$work/$1")")
  statistics+=("$loop=$(cat "/sys/block/$loop/queue/iostats")")
  echo 1 >"/sys/block/$loop/queue/iostats"
}

if podman run --rm "$image" --version >/dev/null 2>&1; then
  echo "Containers start here: podman run"
  image_command() { command=(podman run --rm -v "$work/$1:/data" "$image"); }
else
  echo "Containers cannot start here: the image's file system in a chroot"
  rootfs=$work/rootfs
  mkdir -p "$rootfs"
  container=$(podman create "$image")
  podman export "$container" | tar -x -C "$rootfs"
  podman rm "$container" >/dev/null
  image_command() { command=(chroot "$work/root-$1" "$entrypoint"); }
fi

# The chroot of one run: the image's files, and what a container is given.
# Under podman only its folder, for the checks to find the files the run
# names.
prepare_root() {  # name
  local root=$work/root-$1
  if [ -z "${rootfs:-}" ]; then
    mkdir -p "$root" && ln -s "$work/$1" "$root/data"
    return
  fi
  cp -a "$rootfs" "$root"
  mkdir -p "$root/proc" "$root/sys" "$root/dev" "$root/data"
  mount -t proc proc "$root/proc" && mounted+=("$root/proc")
  mount --bind /sys "$root/sys" && mounted+=("$root/sys")
  mount --bind /dev "$root/dev" && mounted+=("$root/dev")
  mount --bind "$work/$1" "$root/data" && mounted+=("$root/data")
}

for name in job libaio; do
  if ! disk "$name" || ! prepare_root "$name"; then fail "the folder of the $name run"; fi
done
mapfile -t job_args < <(kubectl kustomize "$source_dir/deploy/kubernetes" |
  python3 "$here/check_manifests.py" args corvasta-storage node-a profiles=SEQ1M-Q8T1 passes=1 testSize=256MiB)
echo "The storage Job's arguments: ${job_args[*]}"
image_command job
"${command[@]}" "${job_args[@]}" >"$work/job.json" 2>"$work/job.err" &
job_pid=$!
image_command libaio
"$deny" "${command[@]}" /data --json --passes 1 --size 256MiB >"$work/libaio.json" 2>"$work/libaio.err" &
libaio_pid=$!

expect_exit "$job_pid" "$work/job.err" 0
expect_line "$work/job.err" "I/O: $(python3 "$here/../e2e/expected_backend.py")"
# The runs' reports, beside which their documents lie, are seen from here
# under the run's root.
check_document() {  # name shares label
  CORVASTA_CHECK_ROOT=$work/root-$1 CORVASTA_CHECK_LABEL=$3 \
    python3 "$here/../e2e/check_json.py" "$work/$1.json" completed "$2" /data/
}
check_document job device node-a || fail "the Job's document in the image"
expect_exit "$libaio_pid" "$work/libaio.err" 0
expect_line "$work/libaio.err" "I/O: libaio"
check_document libaio any "$(hostname)" || fail "the document of the run with io_uring denied"

# The pod's log, its progress and its document, as
# `kubectl logs -l app.kubernetes.io/name=corvasta --prefix` prints it.
cat "$work/job.err" "$work/job.json" | sed 's|^|[pod/corvasta-storage-x7k2p/corvasta] |' |
  "$cli" compare - >"$work/compare.txt"
code=$?
cat "$work/compare.txt"
[ "$code" -eq 0 ] || fail "compare - exited $code"
expect_line "$work/compare.txt" "node-a"
finish_checks "image end to end"
