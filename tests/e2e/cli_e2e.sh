#!/usr/bin/env bash
# End to end: a short completed run started from another folder with --json,
# and natively a run stopped with SIGINT, a failed run, a run in a tmpfs
# folder, the progress on a terminal, and (as root) the completed run of
# every profile on ext4 over a loop device, whose device counters must
# confirm every pass. Each run must use the I/O engine the kernel allows.
# Usage: cli_e2e.sh CLI WORK_DIR [RUNNER]   (RUNNER: cmake/wine-run.sh for the .exe)
here=$(dirname "$(realpath "$0")")
# shellcheck source=e2e_checks.sh
source "$here/e2e_checks.sh"
mounted=()
# check_json FILE OUTCOME SHARES FOLDER: the document's fields and their types.
check_json() { python3 "$here/check_json.py" "$@" || fail "the JSON document in $(basename "$1")"; }
# Only what this script mounted is unmounted; a loop mount frees its device.
cleanup() {
  for point in "${mounted[@]}"; do umount "$point"; done
  rm -f "$work/ext4.img"
}
trap cleanup EXIT

rm -rf "$work"
mkdir -p "$work/elsewhere"
work=$(realpath "$work")

completed=$work/completed
shares=any
# The profiles of the completed run: their option, names and report tags.
profiles=SEQ1M-Q8T1 names="SEQ1M Q8T1" tags=SEQ1MQ8T1
if [ -n "$runner" ]; then
  backend=iocp
  # A random profile takes its completions in bursts, a call the window never
  # makes, here on two threads of the system's own.
  profiles=SEQ1M-Q8T1,RND4K-Q32T2 names="SEQ1M Q8T1,RND4K Q32T2" tags="SEQ1MQ8T1 RND4KQ32T2"
elif [ "$(id -u)" -eq 0 ] && truncate -s 400M "$work/ext4.img" && mkfs.ext4 -q "$work/ext4.img" &&
     mkdir -p "$work/loop" && mount -o loop "$work/ext4.img" "$work/loop"; then
  mounted+=("$work/loop")
  completed=$work/loop/completed
  shares=device
  loop=$(basename "$(findmnt -n -o SOURCE "$work/loop")")
  # and a pass of two threads, whose device shares must add up too.
  profiles=all,RND4K-Q32T2 names="SEQ1M Q8T1,SEQ1M Q1T1,RND4K Q32T1,RND4K Q1T1,RND4K Q32T2"
  tags="SEQ1MQ8T1 SEQ1MQ1T1 RND4KQ32T1 RND4KQ1T1 RND4KQ32T2"
else
  echo "SKIP: the device counters of a loop device need root and loop devices"
fi
backend=${backend:-$(python3 "$here/expected_backend.py")}
mkdir -p "$completed"

# Started elsewhere: the folder argument decides where everything happens.
# shellcheck disable=SC2086
(cd "$work/elsewhere" && $runner "$cli" --json --profile "$profiles" --passes 1 --size 256MiB "$completed") \
  >"$work/completed.json" 2>"$work/completed.err"
code=$?
cat "$work/completed.err" "$work/completed.json"
[ "$code" -eq 0 ] || fail "completed run exited $code"
for line in "I/O: $backend" "Benchmark Folder: " "Read 1/1  " "Read Completed. Writing between 5 seconds..." \
            "Read Completed. Writing between 1 seconds..." "Preparing write test..." "Write 1/1  " \
            "Benchmark completed - HTML log saved in the benchmark folder." "Report: "; do
  expect_line "$work/completed.err" "$line"
done
# A loop device without direct I/O reads its file through the page cache.
if [ -n "${loop:-}" ] && [ "$(cat "/sys/block/$loop/loop/dio")" = 0 ]; then
  expect_line "$work/completed.err" "Warning: the device $loop is a loop device that reaches its backing file through the page cache"
fi
[ -z "$runner" ] && check_json "$work/completed.json" completed "$shares" "$completed/" "$names"
[ -n "$runner" ] && check_json "$work/completed.json" completed any "" "$names"
[ -z "$(ls -A "$work/elsewhere")" ] || fail "the run wrote into the folder it was started from"
# One report per profile, each naming it; random profiles' results read RND.
[ "$(ls -A "$completed" | wc -l)" -eq "$((2 * $(wc -w <<<"$tags")))" ] ||
  fail "the folder should hold one report and its JSON per profile, holds: $(ls -A "$completed")"
for tag in $tags; do
  mapfile -t found < <(ls -A "$completed" | grep -E "^corvasta_[0-9]{14}_${tag}_256MiB\.html$")
  [ "${#found[@]}" -eq 1 ] || { fail "no single report of $tag"; continue; }
  report="$completed/${found[0]}"
  [ -f "${report%.html}.json" ] || fail "no JSON beside the report of $tag"
  kind=SEQ && [[ "$tag" == RND* ]] && kind=RND
  [ "$(grep -c '<b>PASS 1</b>' "$report")" -eq 2 ] || fail "expected a PASS 1 row in each phase of $tag"
  for line in "<h3>READ TEST</h3>" "<h3>WRITE TEST</h3>" "<h3>RESULT</h3>" "<b>$kind READ</b>" "<b>$kind WRITE</b>" "</html>"; do
    expect_line "$report" "$line"
  done
  grep -q '<h2>ERROR</h2>' "$report" && fail "the completed run's report of $tag has an ERROR block"
done

# Started from the scratch folder and kept short, should it run after all.
# shellcheck disable=SC2086
(cd "$work/elsewhere" && $runner "$cli" --json --passes 1 --size 256MiB "$work/missing") >"$work/missing.out" 2>&1
code=$?
[ "$code" -eq 2 ] || fail "a folder that does not exist exited $code"
[ "$(wc -l <"$work/missing.out")" -eq 1 ] || fail "a folder that does not exist: $(cat "$work/missing.out")"

# A wrong option says what is wrong and where help is, on standard error only.
# shellcheck disable=SC2086
$runner "$cli" --profile SEQ1M-Q8T1,RND3K-Q1T1 "$work/missing" >"$work/badoption.out" 2>"$work/badoption.err"
code=$?
[ "$code" -eq 2 ] || fail "an unknown profile exited $code"
[ ! -s "$work/badoption.out" ] || fail "an unknown profile printed on standard output"
tr -d '\r' <"$work/badoption.err" >"$work/badoption.txt"
[ "$(wc -l <"$work/badoption.txt")" -eq 2 ] && grep -q '^corvasta-cli: Unknown profile RND3K-Q1T1: a profile is SEQ or RND' "$work/badoption.txt" &&
  [ "$(tail -n 1 "$work/badoption.txt")" = "Run with --help for more information." ] ||
  fail "an unknown profile: $(cat "$work/badoption.err")"

if [ -z "$runner" ]; then
  mkdir -p "$work/stopped"
  "$cli" --json --passes 3 --size 256MiB "$work/stopped" >"$work/stopped.json" 2>"$work/stopped.err" &
  pid=$!
  for _ in $(seq 1 600); do
    grep -qF "Read 1/3" "$work/stopped.err" && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -INT "$pid"
  wait "$pid"
  code=$?
  cat "$work/stopped.err"
  [ "$code" -eq 130 ] || fail "stopped run exited $code"
  expect_line "$work/stopped.err" "Stopping benchmark...Benchmark stopped by user."
  grep -qF "Write 1/3" "$work/stopped.err" && fail "the stop came too late: the write phase ran"
  [ -z "$(ls -A "$work/stopped")" ] || fail "the stopped run left: $(ls -A "$work/stopped")"
  check_json "$work/stopped.json" stopped any "$work/stopped/"

  # A folder the run cannot write in fails it: a full small tmpfs as root,
  # a read-only folder otherwise.
  mkdir -p "$work/failed"
  if [ "$(id -u)" -eq 0 ] && mount -t tmpfs -o size=16m tmpfs "$work/failed"; then
    mounted+=("$work/failed")
  else
    chmod 555 "$work/failed"
  fi
  "$cli" --json --passes 1 --size 256MiB "$work/failed" >"$work/failed.json" 2>"$work/failed.err"
  code=$?
  cat "$work/failed.err"
  [ "$code" -eq 1 ] || fail "failed run exited $code"
  # A full disk fails where NTFS would, at the length, with ERROR_DISK_FULL.
  if [ "${#mounted[@]}" -gt 0 ] && [ "${mounted[-1]}" = "$work/failed" ]; then
    expect_line "$work/failed.err" "Error: Unable to set file size (Windows Error 112)"
  else
    grep -qE "^Error: Unable to create $work/failed/corvastatmp[0-9A-F]{8}$" "$work/failed.err" ||
      fail "the read-only folder's error is not the temporary folder's"
  fi
  check_json "$work/failed.json" error null "$work/failed/"
  chmod 755 "$work/failed"

  # Memory answers every request in /dev/shm: no device, null shares, a warning.
  shm=$(mktemp -d /dev/shm/corvasta-e2e.XXXXXX)
  "$cli" --json --passes 1 --size 256MiB "$shm" >"$work/tmpfs.json" 2>"$work/tmpfs.err"
  code=$?
  [ "$code" -eq 0 ] || fail "tmpfs run exited $code"
  expect_line "$work/tmpfs.err" "Warning: the folder's file system (tmpfs) has no block device under it"
  check_json "$work/tmpfs.json" completed null "$shm/"
  rm -rf "$shm"
  python3 -c 'import json, sys; w = json.load(open(sys.argv[1]))["warnings"]; sys.exit(not any("(tmpfs)" in x for x in w))' \
    "$work/tmpfs.json" || fail "the tmpfs run's document does not warn"

  mkdir -p "$work/terminal"
  python3 "$here/pty_progress.py" "$cli" "$work/terminal" || fail "the progress on a terminal"
  [ -z "$(ls -A "$work/terminal")" ] || fail "the run stopped on a terminal left: $(ls -A "$work/terminal")"
fi

finish_checks "cli end to end"
