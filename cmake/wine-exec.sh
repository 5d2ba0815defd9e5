#!/bin/sh
# Runs a Windows test program under Wine for ctest. The prefix, display and debug
# settings come from scripts/test; sane defaults make a lone `ctest` work too.
: "${WINEPREFIX:=$(cd "$(dirname "$0")/.." && pwd)/build/wineprefix}"
: "${WINEDEBUG:=-all}"
: "${WINEDLLOVERRIDES:=mscoree,mshtml=}"
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES
exec wine "$@"
