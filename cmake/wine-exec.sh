#!/bin/sh
# Runs a Windows test program under Wine for ctest. The prefix, display and debug
# settings come from scripts/test; sane defaults make a lone `ctest` work too.
: "${WINEPREFIX:=$(cd "$(dirname "$0")/.." && pwd)/build/wineprefix}"
: "${WINEDEBUG:=-all}"
: "${WINEDLLOVERRIDES:=mscoree,mshtml=}"
# The locale of scripts/lib.sh whatever the caller's: without UTF-8 Wine cannot make files
# whose names are outside ASCII.
LANG=C.UTF-8
LC_ALL=C.UTF-8
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES LANG LC_ALL

# Now and then Wine fails to start a program at all: it ends at once (in some 30 ms, where a
# test takes 150 ms at the least) and prints nothing. Such a start, and only such a one, is
# tried once more; a program that fails on its own still fails.
started=$(date +%s%N)
wine "$@"
status=$?
if [ "$status" -ne 0 ] && [ $(( ($(date +%s%N) - started) / 1000000 )) -lt 100 ]; then
    echo "wine-exec: wine ended with $status in less than 0.1 s; starting it once more" >&2
    wine "$@"
    status=$?
fi
exit "$status"
