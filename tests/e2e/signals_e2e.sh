#!/usr/bin/env bash
# Ended from outside: SIGTERM and SIGHUP at a random moment of a real run
# stop it like Ctrl+C (exit 143 and 129); SIGPIPE never kills it, and a
# reader of its output that goes away stops it (exit 141). Each time the
# folder must be empty afterwards: no test file, marker or report left.
# The three runs go side by side to keep the test short.
# Usage: signals_e2e.sh CLI WORK_DIR
here=$(dirname "$(realpath "$0")")
# shellcheck source=e2e_checks.sh
source "$here/e2e_checks.sh"
rm -rf "$work"
mkdir -p "$work"
work=$(realpath "$work")

# A moment anywhere from the start to the first read pass (about 8 s in).
moment() { printf '%d.%d' $((RANDOM % 8)) $((RANDOM % 10)); }


start_run() {  # name
  mkdir -p "$work/$1"
  "$cli" --passes 1 --size 256MiB "$work/$1" >"$work/$1.out" 2>&1 &
}

expect_stopped() {  # name pid code
  expect_exit "$2" "$work/$1.out" "$3"
  [ -z "$(ls -A "$work/$1")" ] || fail "the run ended by $1 left: $(ls -A "$work/$1")"
}

start_run TERM
term_pid=$!
start_run HUP
hup_pid=$!
# Standard output into a reader that leaves at a random moment, after the
# SIGPIPE sent below (1 s to 9 s in).
mkdir -p "$work/PIPE"
pipe_leaves=$((RANDOM % 8 + 1)).$((RANDOM % 10))
"$cli" --passes 1 --size 256MiB "$work/PIPE" 2>"$work/PIPE.out" > >(sleep "$pipe_leaves") &
pipe_pid=$!

term_at=$(moment) hup_at=$(moment)
echo "TERM after ${term_at} s, HUP after ${hup_at} s, the reader leaves after ${pipe_leaves} s"
(sleep "$term_at" && kill -TERM "$term_pid") &
(sleep "$hup_at" && kill -HUP "$hup_pid") &
sleep 0.5
kill -PIPE "$pipe_pid"
sleep 0.5
kill -0 "$pipe_pid" 2>/dev/null || fail "SIGPIPE ended the run"

expect_stopped TERM "$term_pid" 143
expect_stopped HUP "$hup_pid" 129
expect_stopped PIPE "$pipe_pid" 141
finish_checks "signals end to end"
