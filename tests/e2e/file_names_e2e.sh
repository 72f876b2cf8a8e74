#!/usr/bin/env bash
# End to end, natively: a benchmark folder whose name, and whose parent's
# name, hold bytes that are not UTF-8. A run killed mid-way leaves a marker
# with those raw bytes; the next run in the folder recovers from it, then
# completes with a report whose text is valid UTF-8.
# Usage: file_names_e2e.sh CLI WORK_DIR
# shellcheck source=e2e_checks.sh
source "$(dirname "$(realpath "$0")")/e2e_checks.sh"

rm -rf "$work"
mkdir -p "$work"
work=$(realpath "$work")
folder=$work/$'par\xe9nt'/$'b\xffnch'
# How the report and the console show the folder: U+FFFD for each such byte.
shown=$work/par$'\xef\xbf\xbd'nt/b$'\xef\xbf\xbd'nch/
mkdir -p "$folder"
marker=$folder/result_something_happened.txt

# The first run is killed once its test file exists.
(cd "$folder" && exec "$cli" --passes 1 --size 256MiB) >"$work/killed.out" 2>&1 &
pid=$!
for _ in $(seq 1 600); do
  compgen -G "$folder/corvastatmp*/corvastatmp*.tmp" >/dev/null && [ -s "$marker" ] && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
kill -KILL "$pid" 2>/dev/null
wait "$pid" 2>/dev/null
leftover=$(compgen -G "$folder/corvastatmp*")
unfinished=$(compgen -G "$folder/corvasta_*.html")
[ -n "$leftover" ] && [ -n "$unfinished" ] || fail "the killed run left too little: $(cat "$work/killed.out")"
# The marker names both, byte for byte.
[ "$(tr -d '\r' <"$marker")" = "$leftover"$'\n'"$unfinished" ] || fail "the marker does not name $leftover and $unfinished"
# The next report gets another name: its time stamp counts seconds.
sleep 1

(cd "$folder" && exec "$cli" --passes 1 --size 256MiB) >"$work/completed.out" 2>&1
code=$?
cat "$work/completed.out"
[ "$code" -eq 0 ] || fail "the run after the kill exited $code"
grep -qF "Benchmark Folder: $shown" "$work/completed.out" || fail "the console does not show $shown"
mapfile -t left < <(ls -A "$folder")
if [ "${#left[@]}" -ne 2 ] || [[ ! "${left[0]}" =~ ^corvasta_[0-9]{14}_SEQ1MQ8T1_256MiB\.html$ ]] ||
  [ "${left[1]}" != "${left[0]%.html}.json" ]; then
  fail "the folder should hold exactly one report and its JSON, holds: ${left[*]}"
else
  report=$folder/${left[0]}
  [ "$report" != "$unfinished" ] || fail "the unfinished report was not removed"
  iconv -f UTF-8 -t UTF-8 "$report" >/dev/null 2>&1 || fail "the report is not valid UTF-8"
  grep -qF "<b>PATH</b></td><td><b>$shown</b>" "$report" || fail "the PATH row does not show $shown"
  grep -qF "<h3>RESULT</h3>" "$report" || fail "the report has no RESULT block"
fi

finish_checks "file names end to end"
