#!/usr/bin/env bash
# Renders the example report (a completed three-pass run, written by the
# report writer, CR LF lines as on disk) to docs/report.png, so the README can
# show what a user opens after a run (tall enough for the RESULT table).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
page=$root/docs/report-example.html
out=${1:-$root/docs/report.png}
chromium=$(command -v chromium || command -v chromium-browser)
profile=$(mktemp -d)
trap 'rm -rf "$profile"' EXIT
"$chromium" --headless --no-sandbox --disable-gpu --hide-scrollbars \
  --user-data-dir="$profile" --window-size=800,1080 \
  --screenshot="$out" "file://$page" 2>/dev/null
echo "wrote $out"
