#!/usr/bin/env bash
# Runs the window driver against the window program under Wine on a virtual
# display of its own, and saves the screenshots the driver asks for.
# Usage: run_window_tests.sh <driver.exe> <corvasta.exe> <window_probe.dll> <report_opener.exe>
#                            <work dir> <screenshot dir>
set -euo pipefail
driver=$(realpath "$1") program=$(realpath "$2") probe=$(realpath "$3") opener=$(realpath "$4")
work=$(realpath -m "$5") shots=$(realpath -m "$6")
here=$(cd "$(dirname "$0")" && pwd)
wine_run=$here/../../cmake/wine-run.sh

# A prefix of its own, so stopping its wineserver touches no other test.
export CORVASTA_WINEPREFIX=$work/wineprefix
wineserver=/usr/lib/wine/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver)

xvfb_pid=
cleanup() {
  WINEPREFIX=$CORVASTA_WINEPREFIX "$wineserver" -k 2>/dev/null || true
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
}
trap cleanup EXIT
trap 'exit 1' INT TERM

# The first free display number; another test may take the same one at the
# same moment, so a server that exits at once moves on to the next number.
display=
for n in $(seq 57 99); do
  [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do
    kill -0 "$xvfb_pid" 2>/dev/null || break
    xdpyinfo -display ":$n" >/dev/null 2>&1 && { display=:$n; break; }
    sleep 0.1
  done
  [ -n "$display" ] && break
  kill "$xvfb_pid" 2>/dev/null || true
  wait "$xvfb_pid" 2>/dev/null || true
  xvfb_pid=
done
[ -n "$display" ] || { echo "Xvfb did not start"; exit 1; }
export DISPLAY=$display

windows_path() { printf 'Z:%s' "${1//\//\\}"; }
folder=$work/folder signals=$work/signals
rm -rf "$folder" "$signals"
mkdir -p "$folder" "$signals" "$shots"

# Files stay under 384 MiB, so that a 512 MiB test file fails to get its
# size as on a full disk while 256 MiB ones fit; with SIGXFSZ ignored the
# system refuses the size instead of ending the process.
(
  ulimit -f $((384 * 1024))
  trap '' XFSZ
  exec "$wine_run" "$driver" "$(windows_path "$program")" "$(windows_path "$folder")" \
    "$(windows_path "$signals")" "$(windows_path "$probe")" "$(windows_path "$opener")"
) &
driver_pid=$!
# The driver asks for a screenshot with a file holding the window's geometry,
# and reads the picture back as name.ppm once the request file is gone.
while kill -0 "$driver_pid" 2>/dev/null; do
  for request in "$signals"/*.shot; do
    [ -e "$request" ] || continue
    name=$(basename "$request" .shot)
    import -display "$display" -window root -crop "$(head -n1 "$request")" +repage "$shots/$name.png"
    convert "$shots/$name.png" "$signals/$name.ppm"
    rm -f "$request"
  done
  sleep 0.2
done
wait "$driver_pid"
