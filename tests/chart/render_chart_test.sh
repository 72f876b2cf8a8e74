#!/usr/bin/env bash
# Renders the sustained-write report of a scripted trace in headless Chromium,
# at a desktop's width and at a phone's, and checks the plotted line on each
# screenshot. Usage: render_chart_test.sh PAGE_WRITER SCRATCH_FOLDER
set -euo pipefail
writer=$1 scratch=$2
here=$(cd "$(dirname "$0")" && pwd)
chromium=$(command -v chromium || command -v chromium-browser)
rm -rf "$scratch" && mkdir -p "$scratch/page"
page=$("$writer" "$scratch/page")
if grep -qiE '<script|src=|https?://[^"]*"[^>]*(href|src)' "$page"; then
  echo "the report runs a script or fetches something"; exit 1
fi
status=0
for width in 800 390; do
  shot=$scratch/shot-$width.png
  "$chromium" --headless --no-sandbox --disable-gpu --hide-scrollbars \
    --user-data-dir="$scratch/profile" --window-size="$width,1500" \
    --screenshot="$shot" "file://$page" >/dev/null 2>&1
  python3 "$here/check_chart.py" "$shot" "$width" || status=1
done
[ "$status" = 0 ] && echo "chart render: all checks passed"
exit "$status"
