#!/usr/bin/env bash
# Runs a Windows program under Wine in a prefix kept in the build tree, so
# tests never touch the user's own prefix. The first use creates the prefix.
set -euo pipefail
: "${CORVASTA_WINEPREFIX:=${TMPDIR:-/tmp}/corvasta-wine-$(id -u)}"
export WINEPREFIX="$CORVASTA_WINEPREFIX" WINEDEBUG=-all
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  ( flock 9; [ -f "$WINEPREFIX/system.reg" ] || "$wine" wineboot --init >/dev/null 2>&1 ) 9>"$WINEPREFIX.lock"
fi
exec "$wine" "$@"
