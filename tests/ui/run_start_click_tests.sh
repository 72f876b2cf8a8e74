#!/usr/bin/env bash
# Runs the start-click tests under Wine on a virtual display, in a Wine prefix
# of their own: a wineserver that another test started without a display
# cannot open windows. Stops that prefix's wineserver when done.
# Usage: run_start_click_tests.sh <start_click_tests.exe> <prefix dir>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
export CORVASTA_WINEPREFIX=$2
wineserver=/usr/lib/wine/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver)
trap 'WINEPREFIX=$CORVASTA_WINEPREFIX "$wineserver" -k 2>/dev/null || true' EXIT
xvfb-run -a bash "$here/../../cmake/wine-run.sh" "$1"
