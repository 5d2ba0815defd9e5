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
exec wine "$@"
