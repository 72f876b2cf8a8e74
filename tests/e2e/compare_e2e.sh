#!/usr/bin/env bash
# End to end, `corvasta-cli compare` over documents made here (no benchmark
# runs, so it is quick):
#  - three documents piped in with kubectl's line prefixes give the very
#    table the three files give;
#  - the window's report compares with a console document of its profile;
#  - a folder compares oldest first, a report beside its own JSON left out;
#  - every kind of bad input: its text and its exit code, one table;
#  - the page: refused over a file or a link, and its bars, rendered by
#    headless Chromium at a desktop's and a phone's width, as long as their
#    figures.
# Usage: compare_e2e.sh CLI WORK_DIR
source "$(dirname "$0")/e2e_checks.sh"
here=$(cd "$(dirname "$0")" && pwd)
window_report=$here/../../docs/report-example.html
rm -rf "$work" && mkdir -p "$work" && work=$(realpath "$work")
cd "$work" || exit 1

# name label host profile read write date [version]
document() {
  python3 - "$@" <<'PY'
import json, sys
name, label, host, profile, read, write, date = sys.argv[1:8]
version = sys.argv[8] if len(sys.argv) > 8 else "1.1.0"
phase = lambda mbps: [{"pass": 1, "MBps": float(mbps), "ms": 5000.0, "IOPS": float(mbps) / 1.048576,
                       "latencyUs": {"mean": 1.0, "p50": 900.5, "p90": 1000.0, "p99": 2100.25, "p999": 3000.0, "max": 4000.0},
                       "unknownLater": {"x": 1}}]
run = {"program": "corvasta-cli", "version": version, "host": host, "label": label,
       "startedAt": date, "system": "Linux 6.1", "threads": 4, "profile": profile,
       "drive": {"manufacturer": "ACME", "model": "Disk " + label, "capacity": "1 GB"},
       "read": phase(read), "write": phase(write), "bestReadMBps": float(read), "bestWriteMBps": float(write),
       "outcome": "completed", "error": "", "report": None, "warnings": []}
json.dump(run, open(name, "w"), indent=2)
PY
}
document a.json fast alpha "SEQ1M Q8T1" 400 300 2026-12-10T10:00:00Z
document b.json slow beta "SEQ1M Q8T1" 200 150 2026-12-09T10:00:00Z
document c.json rnd gamma "RND4K-Q32T16" 50 40 2026-12-08T10:00:00Z

# --- a stream of prefixed documents gives the table of the files -------------
"$cli" compare a.json b.json c.json >files.txt || fail "comparing the three files exited $?"
cat files.txt
cat a.json b.json c.json | sed 's/^/[pod\/x\/c] /' | "$cli" compare - >stream.txt || fail "the stream exited $?"
cmp -s files.txt stream.txt || fail "the stream's table differs from the files': $(diff files.txt stream.txt)"
grep -q '^3  rnd ' files.txt && grep -q "RND4K-Q32T16" files.txt || fail "the third run's own profile is missing"
[ "$(grep -c '—' files.txt)" -gt 0 ] || fail "a profile missing from a run is not shown as —"

# --- the window's report beside a console document of its profile ------------
"$cli" compare --json "$window_report" a.json >window.json || fail "window report and JSON exited $?"
python3 - window.json <<'PY' || fail "the window's report does not compare with the console's document"
import json, sys
comparison = json.load(open(sys.argv[1]))
[profile] = comparison["profiles"]
rows = profile["rows"]
assert profile["profile"] == "SEQ1M Q8T1", profile["profile"]
assert rows[0]["readMBps"] == 3456.79 and rows[0]["writeMBps"] == 2903.61, rows[0]
assert abs(rows[1]["readMBpsChangePercent"] - (400 / 3456.79 - 1) * 100) < 1e-9, rows[1]
assert comparison["runs"][0]["drive"] == "ACME NVMe SSD 1TB" and comparison["runs"][0]["date"] == "2026-12-07 15:30:45"
PY

# --- a folder: oldest first; a console report beside its JSON left out ---------
mkdir history
cp a.json history/corvasta_10122026100000_SEQ1MQ8T1_256MiB.json
cp "$window_report" history/corvasta_10122026100000_SEQ1MQ8T1_256MiB.html
cp b.json history/corvasta_09122026100000_SEQ1MQ8T1_256MiB.json
cp "$window_report" history/corvasta_07122026153045_SEQ1MQ8T1_1GiB.html
echo "not ours" >history/notes.txt
"$cli" compare history >history.txt || fail "the folder exited $?"
cat history.txt
[ "$(awk 'NR > 2 {print $2}' history.txt | tr '\n' ' ')" = "corvasta_07122026153045_SEQ1MQ8T1_1GiB slow fast " ] ||
  fail "the folder's runs are not oldest first, or a report beside its JSON was taken"

# --- bad inputs: text and exit code --------------------------------------------
mkdir empty
echo "just text" >text.txt
echo '<!DOCTYPE html><html><head><title>Another Benchmark</title></head><body></body></html>' >other.html
head -c 300 a.json >truncated.json
document newer.json next delta "SEQ1M Q8T1" 1 1 2026-12-10T10:00:00Z 2.0.0
touch exists.html
ln -s a.json link.html
cases=(
  # exit|what standard error says|arguments[|runner]
  "2|text.txt: not a Corvasta document: it holds no JSON document|text.txt"
  "2|other.html: a report of another program, not of Corvasta|other.html"
  "2|truncated.json: truncated: the input ends inside the document|truncated.json"
  "2|newer.json: written by corvasta-cli 2.0.0, a newer major version than this one reads (1.x)|newer.json"
  "2|empty: the folder holds no report or JSON document of Corvasta|empty"
  "2|missing.json: cannot be read: No such file or directory|missing.json"
  "1|text.txt: not a Corvasta document|a.json text.txt b.json"
  "2|nothing compared: --strict and a bad input|--strict a.json text.txt"
  "2|--baseline 3: there are only 2 runs|--baseline 3 a.json b.json"
  "2|exists.html: it exists; --force replaces it|--html exists.html a.json"
  "2|link.html: cannot be created (error 5)|--force --html link.html a.json"
  "2|The following argument was not expected: --bogus|--bogus a.json"
)
# A folder its reader may not list: root reads every folder, so as root the
# case runs as nobody.
mkdir locked && chmod 000 locked
unprivileged=""
[ "$(id -u)" -eq 0 ] && unprivileged="setpriv --reuid=65534 --regid=65534 --clear-groups"
# shellcheck disable=SC2086
if $unprivileged "$cli" --version >/dev/null 2>&1; then
  cases+=("2|locked: the folder cannot be read: Permission denied|locked|$unprivileged")
else
  echo "SKIP: the folder nobody may list: nobody cannot reach $cli"
fi
for case in "${cases[@]}"; do
  IFS='|' read -r code text arguments runner <<<"$case"
  # shellcheck disable=SC2086
  $runner "$cli" compare $arguments >out.txt 2>err.txt
  got=$?
  [ "$got" -eq "$code" ] || fail "compare $arguments exited $got, not $code"
  grep -qF -- "$text" err.txt || fail "compare $arguments said: $(cat err.txt)"
  [ "$code" -eq 2 ] && [ -s out.txt ] && fail "compare $arguments printed a comparison: $(cat out.txt)"
done
[ -L link.html ] && cmp -s a.json link.html || fail "the link or what it points at was changed"
[ -s exists.html ] && fail "the refused page was written over an existing file"
chmod 755 locked

# --- the page -------------------------------------------------------------------
"$cli" compare --html page.html a.json b.json >/dev/null || fail "writing the page exited $?"
"$cli" compare --force --html exists.html a.json >/dev/null && [ -s exists.html ] || fail "--force did not replace the file"
grep -qiE '<script|src=|<link rel="stylesheet"' page.html && fail "the page runs a script or fetches something"
chromium=$(command -v chromium || command -v chromium-browser)
for width in 800 390; do
  "$chromium" --headless --no-sandbox --disable-gpu --hide-scrollbars --user-data-dir="$work/profile" \
    --window-size="$width,1200" --screenshot="$work/page-$width.png" "file://$work/page.html" >/dev/null 2>&1
  python3 "$here/check_compare_chart.py" "$work/page-$width.png" 400 300 200 150 || fail "the bars at $width px"
done

finish_checks "compare end to end"
