#!/usr/bin/env bash
# Installs the console's Debian package on this machine (as root), runs it
# from PATH with a short benchmark in a scratch folder, and purges it again,
# leaving the machine's packages as it found them.
# Usage: deb_test.sh corvasta-cli_VERSION_ARCH.deb WORK_DIR   (WORK_DIR on a real disk, not tmpfs)
set -uo pipefail
deb=$(realpath "$1")
work=$2
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect() { grep -qF -- "$2" <<<"$1" || fail "expected '$2' in: $1"; }

if dpkg-query -W -f='${Status}' corvasta-cli 2>/dev/null | grep -q 'ok installed'; then
  echo "corvasta-cli is installed already: this test would replace and then remove it"
  exit 1
fi
installed=0
purge() { [ "$installed" = 1 ] && dpkg --purge corvasta-cli >/dev/null; installed=0; }
trap purge EXIT

version=$(dpkg-deb -f "$deb" Version)
[ "$(basename "$deb")" = "corvasta-cli_${version}_$(dpkg --print-architecture).deb" ] ||
  fail "the file name $(basename "$deb") does not carry the version $version"
# Declared by dpkg-shlibdeps from what the program links.
depends=$(dpkg-deb -f "$deb" Depends)
expect "$depends" "libc6"
expect "$depends" "liburing"

if dpkg -i "$deb" >/dev/null; then installed=1; else fail "dpkg -i failed"; fi
expect "$(corvasta-cli --version)" "corvasta-cli $version"
zcat /usr/share/man/man1/corvasta-cli.1.gz | grep -q "^\.TH CORVASTA-CLI 1 .*corvasta-cli $version" ||
  fail "no manual page of version $version"
grep -q '^MIT License' /usr/share/doc/corvasta-cli/copyright || fail "no licence"

rm -rf "$work" && mkdir -p "$work"
(cd "$work" && corvasta-cli --passes 1 --size 256MiB) >"$work.out" 2>&1 || fail "the short run exited $?"
cat "$work.out"
compgen -G "$work/corvasta_*_SEQ1MQ8T1_256MiB.html" >/dev/null || fail "the short run left no report"

purge
dpkg-query -W -f='${Status}' corvasta-cli 2>/dev/null | grep -q 'ok installed' && fail "still installed"
for path in /usr/bin/corvasta-cli /usr/share/man/man1/corvasta-cli.1.gz /usr/share/doc/corvasta-cli; do
  [ -e "$path" ] && fail "$path is left after the purge"
done
rm -rf "$work" "$work.out"

[ "$failures" -eq 0 ] && echo "Debian package: installs, runs and purges cleanly"
exit $((failures > 0))
