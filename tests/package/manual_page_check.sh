#!/usr/bin/env bash
# The manual page documents what the program's --help offers: every option,
# every test size and the version.
# Usage: manual_page_check.sh CLI MANUAL_PAGE
set -uo pipefail
cli=$1 page=$2
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

help=$("$cli" --help) || fail "--help exited $?"
version=$("$cli" --version | head -n1) || fail "--version exited $?"
# Roff writes a hyphen in an option as \-.
manual=$(sed 's/\\-/-/g' "$page")

# Options start a word: "corvasta-cli" holds no option "-cli".
for option in $(grep -oE -- '(^|[[:space:][])--?[a-z][a-z-]*' <<<"$help" | sed -E 's/^[[:space:][]+//' | sort -u); do
  grep -qE -- "(^|[^a-z-])$option([^a-z-]|\$)" <<<"$manual" || fail "the manual page lacks $option"
done
for size in $(grep -oE '[0-9]+[MG]iB' <<<"$help" | sort -u); do
  grep -qF -- "$size" <<<"$manual" || fail "the manual page lacks the size $size"
done
grep -qF -- ".TH CORVASTA-CLI 1 \"\" \"$version\"" <<<"$manual" || fail "the manual page's title does not say $version"

[ "$failures" -eq 0 ] && echo "manual page: agrees with --help"
exit $((failures > 0))
