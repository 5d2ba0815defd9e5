#!/bin/sh
# Runs the fault cases that need the disk itself to misbehave (FaultDisk*): mounts a small tmpfs
# (a disk that fills up) and a read-only bind mount of a folder, links them into the Wine prefix
# as drives, runs the driver under Wine with the drive letters in its environment, and undoes it
# all on every way out. Mounting needs root; without it the script says why and exits 77, which
# ctest counts as skipped (the cases themselves skip when the drives are not named).
#
# Usage: faults.sh <vqx_e2e.exe>
# The Wine settings (WINEPREFIX, DISPLAY, ...) come from the environment, as for every other
# end-to-end case (scripts/test sets them; cmake/wine-exec.sh fills in defaults).
set -u

here=$(cd "$(dirname "$0")" && pwd)
wine_exec="$here/../../cmake/wine-exec.sh"
driver=${1:?usage: faults.sh <vqx_e2e.exe>}
: "${WINEPREFIX:=$(cd "$here/../.." && pwd)/build/wineprefix}"
export WINEPREFIX

# The small disk: big enough for the program's own files of a case, far smaller than its copies.
SMALL_SIZE=16m

tmp=${TMPDIR:-/tmp}
[ -d "$tmp" ] && [ -w "$tmp" ] || tmp=/tmp
work=$(mktemp -d "$tmp/vqx-faults.XXXXXX") || exit 1
links=""
small_mounted=0
ro_mounted=0

# shellcheck disable=SC2317 # run by the trap
cleanup() {
    status=$?
    trap - EXIT INT TERM HUP
    for link in $links; do
        rm -f "$link"
    done
    if [ "$ro_mounted" = 1 ]; then
        umount "$work/ro" 2>/dev/null || umount -l "$work/ro"
    fi
    if [ "$small_mounted" = 1 ]; then
        umount "$work/small" 2>/dev/null || umount -l "$work/small"
    fi
    rm -rf "$work"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

say() { printf 'faults.sh: %s\n' "$*"; }

# Runs the disk cases; with the drives named they must all run, none may skip.
run_driver() {
    "$wine_exec" "$driver" --gtest_filter='FaultDisk*' >"$work/driver.log" 2>&1
    rc=$?
    cat "$work/driver.log"
    return "$rc"
}

skip() {
    say "the disk cases are skipped: $*"
    run_driver || exit $?
    exit 77
}

[ -d "$WINEPREFIX/dosdevices" ] || skip "no Wine prefix at $WINEPREFIX"

# Three drive letters that the prefix does not use yet.
free_letters() {
    for letter in x y w v u t s r q p o n m; do
        if [ ! -e "$WINEPREFIX/dosdevices/$letter:" ] && [ ! -L "$WINEPREFIX/dosdevices/$letter:" ]; then
            printf '%s\n' "$letter"
        fi
    done
}
letters=$(free_letters | head -3 | tr '\n' ' ')
small_letter=$(echo "$letters" | cut -d' ' -f1)
ro_letter=$(echo "$letters" | cut -d' ' -f2)
rw_letter=$(echo "$letters" | cut -d' ' -f3)
[ -n "$rw_letter" ] || skip "fewer than three free drive letters in $WINEPREFIX/dosdevices"

mkdir -p "$work/small" "$work/rw" "$work/ro"
if ! out=$(mount -t tmpfs -o size=$SMALL_SIZE,mode=0777 vqx-faults "$work/small" 2>&1); then
    skip "cannot mount a tmpfs (${out:-mount failed}); this needs root"
fi
small_mounted=1
if ! out=$(mount --bind "$work/rw" "$work/ro" 2>&1); then
    skip "cannot make a bind mount (${out:-mount failed})"
fi
ro_mounted=1
if ! out=$(mount -o remount,bind,ro "$work/ro" 2>&1); then
    skip "cannot make the bind mount read-only (${out:-mount failed})"
fi

ln -s "$work/small" "$WINEPREFIX/dosdevices/$small_letter:" &&
    links="$links $WINEPREFIX/dosdevices/$small_letter:"
ln -s "$work/ro" "$WINEPREFIX/dosdevices/$ro_letter:" &&
    links="$links $WINEPREFIX/dosdevices/$ro_letter:"
ln -s "$work/rw" "$WINEPREFIX/dosdevices/$rw_letter:" &&
    links="$links $WINEPREFIX/dosdevices/$rw_letter:"

drive() { printf '%s:' "$1" | tr '[:lower:]' '[:upper:]'; }
VQX_FAULT_FULL_DRIVE=$(drive "$small_letter")
VQX_FAULT_RO_DRIVE=$(drive "$ro_letter")
VQX_FAULT_RW_DRIVE=$(drive "$rw_letter")
export VQX_FAULT_FULL_DRIVE VQX_FAULT_RO_DRIVE VQX_FAULT_RW_DRIVE
say "small disk ($SMALL_SIZE tmpfs) as $VQX_FAULT_FULL_DRIVE, read-only folder as" \
    "$VQX_FAULT_RO_DRIVE (writable as $VQX_FAULT_RW_DRIVE)"

run_driver
rc=$?
if grep -q '^\[  SKIPPED \]' "$work/driver.log"; then
    say "a disk case skipped although the drives were there"
    exit 1
fi
if ! grep -q '^\[  PASSED  \] [1-9]' "$work/driver.log" && [ "$rc" = 0 ]; then
    say "no disk case ran"
    exit 1
fi
exit "$rc"
