#!/usr/bin/env bash
# The programs run elevated from folders others may write: Windows looks for
# a DLL that is not one of its known DLLs beside the program first, so every
# DLL imported at load time must be a known one (comctl32 comes through the
# manifest, from the side-by-side store; ntdll is mapped into every process
# before any search). Anything else is loaded at run time from System32.
# Usage: load_time_imports.sh <objdump> <program.exe>...
set -euo pipefail
objdump=$1
shift
allowed=" kernel32.dll user32.dll gdi32.dll shell32.dll ole32.dll advapi32.dll msvcrt.dll comctl32.dll ntdll.dll "
failures=0
for program in "$@"; do
  names=$("$objdump" -p "$program" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z')
  [ -n "$names" ] || { echo "FAIL: no import table read from $program"; failures=$((failures + 1)); continue; }
  for name in $names; do
    case "$allowed" in
      *" $name "*) ;;
      *) echo "FAIL: $(basename "$program") imports $name at load time"; failures=$((failures + 1)) ;;
    esac
  done
done
[ "$failures" -eq 0 ] && echo "load-time imports: only known DLLs"
exit $((failures > 0))
