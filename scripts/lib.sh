# shellcheck shell=bash
# Shared functions of the scripts in scripts/; source it, don't run it.
#
#   vqx_init               sets the Wine environment, VQX_TMP, installs the cleanup trap
#   vqx_build PRESET [TARGET...]  configures PRESET (its log shown only on failure) and builds
#                          the given targets, or all; returns 1 if configuring failed, 2 if building
#   vqx_lock               one Wine user of build/wineprefix at a time (waits for the other)
#   vqx_start_xvfb         a private Xvfb on a free display; exports DISPLAY
#   vqx_start_wineserver   a warm, persistent wineserver for the prefix (call it first)
#   vqx_prepare_prefix     creates and configures build/wineprefix once; starts its services
#   vqx_wait_for SECONDS CMD...   polls CMD until it succeeds or the deadline passes
#
# The cleanup runs on every exit path (normal end, failure, Ctrl-C, TERM, HUP, PIPE): it ends the
# wineserver of the prefix (and with it every Wine process in it), our Xvfb, and any background
# job this shell started.
#
# Sourcing it sets VQX_ROOT and an environment that does not depend on the caller's (see
# _vqx_environment), for this script and every program it starts, scripts/deps included.

# What the scripts need whatever the caller had set, or not set (env -i, a bare root shell of a
# fresh container).
_vqx_environment() {
    # Without a UTF-8 locale Wine cannot make files whose names are outside ASCII ("Léame.txt");
    # Debian's libc always carries C.UTF-8, whose numbers have a decimal point as well.
    export LANG=C.UTF-8 LC_ALL=C.UTF-8
    unset LANGUAGE
    # dpkg and apt-get want the sbin folders, which root's PATH may lack; a relative entry
    # (bash's default PATH ends in ".") would find programs by where a script happens to be.
    local dir path="" entries
    IFS=: read -ra entries <<<"${PATH:-}"
    for dir in "${entries[@]}" /usr/local/sbin /usr/local/bin /usr/sbin /usr/bin /sbin /bin; do
        if [[ "$dir" == /* && ":$path:" != *":$dir:"* ]]; then
            path="${path:+$path:}$dir"
        fi
    done
    export PATH=$path
    # Wine finds the user's folders through HOME and USER; a bare environment may lack both.
    if [[ -z "${HOME:-}" || ! -d "$HOME" ]]; then
        HOME=$(getent passwd "$(id -u)" | cut -d: -f6 || true)
        export HOME=${HOME:-/root}
    fi
    if [[ -z "${USER:-}" ]]; then
        USER=$(id -un 2>/dev/null || id -u)
        export USER
    fi
    # Temporary files of ours, of the compilers and of mktemp in a folder that is there.
    if [[ -z "${TMPDIR:-}" || ! -d "$TMPDIR" || ! -w "$TMPDIR" ]]; then
        export TMPDIR=/tmp
    fi
}
_vqx_environment

unset CDPATH # a cd must not go elsewhere, nor print where it went
VQX_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
VQX_XVFB_PID=""
VQX_WINESERVER_STARTED=0
VQX_TMP=""
VQX_JOBS=2 # parallel jobs of a build and of a ctest run
# Bumped whenever vqx_prepare_prefix changes what it sets up: older prefixes are made again.
VQX_PREFIX_VERSION=1

vqx_log() { printf '%s: %s\n' "${0##*/}" "$*" >&2; }

vqx_die() {
    vqx_log "error: $*"
    exit 1
}

vqx_init() {
    export WINEPREFIX="$VQX_ROOT/build/wineprefix"
    export WINEDEBUG=-all
    # No Mono or Gecko: no dialog offering to install them.
    export WINEDLLOVERRIDES="mscoree,mshtml="
    export WINEARCH=win64
    VQX_TMP=$(mktemp -d "$TMPDIR/vqx.XXXXXX")
    trap vqx_cleanup EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
    trap 'exit 129' HUP
    trap 'exit 141' PIPE
}

vqx_cleanup() {
    local status=$?
    trap - EXIT INT TERM HUP PIPE
    if ((VQX_WINESERVER_STARTED)); then
        local ours
        ours=$(_vqx_prefix_pids)
        # Kills every process of the prefix, then the server itself.
        timeout 20 wineserver -k >/dev/null 2>&1 || true
        timeout 20 wineserver -w >/dev/null 2>&1 || true
        # Gone for good only once reaped: a check right after this finds nothing.
        # shellcheck disable=SC2086
        vqx_wait_for 5 _vqx_all_gone $ours || true
    fi
    local job
    for job in $(jobs -p); do
        if [[ "$job" != "$VQX_XVFB_PID" ]]; then
            kill "$job" 2>/dev/null || true
        fi
    done
    if [[ -n "$VQX_XVFB_PID" ]]; then
        kill "$VQX_XVFB_PID" 2>/dev/null || true
        wait "$VQX_XVFB_PID" 2>/dev/null || true
    fi
    if [[ -n "$VQX_TMP" ]]; then
        rm -rf "$VQX_TMP"
    fi
    exit "$status"
}

vqx_build() {
    local preset=$1
    shift
    [[ -n "$VQX_TMP" ]] || vqx_die "vqx_build needs vqx_init first"
    local log="$VQX_TMP/configure-$preset.log" targets=()
    if (($#)); then
        targets=(--target "$@")
    fi
    vqx_log "== $preset: configure"
    if ! cmake --preset "$preset" >"$log" 2>&1; then
        cat "$log" >&2
        return 1
    fi
    vqx_log "== $preset: build${*:+ $*}"
    cmake --build --preset "$preset" -j"$VQX_JOBS" "${targets[@]}" || return 2
}

# Wine processes of our prefix (Wine passes WINEPREFIX on to every process it starts), but not
# Xvfb, which has it too and ends later.
_vqx_prefix_pids() {
    local env pid
    for env in /proc/[0-9]*/environ; do
        pid=${env#/proc/}
        pid=${pid%/environ}
        if [[ "$pid" != "$VQX_XVFB_PID" ]] && grep -qzxF "WINEPREFIX=$WINEPREFIX" "$env" 2>/dev/null; then
            echo "$pid"
        fi
    done
}

_vqx_all_gone() {
    local pid
    for pid in "$@"; do
        [[ -e /proc/$pid ]] && return 1
    done
    return 0
}

vqx_wait_for() {
    local seconds=$1
    shift
    local deadline=$((SECONDS + seconds))
    until "$@"; do
        if ((SECONDS >= deadline)); then
            return 1
        fi
        sleep 0.1 # poll interval
    done
}

vqx_lock() {
    mkdir -p "$VQX_ROOT/build"
    exec {VQX_LOCK_FD}>"$VQX_ROOT/build/.wine.lock"
    if ! flock -n "$VQX_LOCK_FD"; then
        vqx_log "waiting for another run that uses build/wineprefix"
        flock -w 1800 "$VQX_LOCK_FD" || vqx_die "build/wineprefix stayed busy for 30 minutes"
    fi
}

_vqx_display_answers() { xdpyinfo -display ":$1" >/dev/null 2>&1; }

_vqx_display_number() { [[ -s "$VQX_TMP/displayfd" ]]; }

vqx_start_xvfb() {
    # Xvfb picks a free display itself and writes its number once it accepts connections.
    Xvfb -displayfd 9 -screen 0 1280x1024x24 -nolisten tcp \
        9>"$VQX_TMP/displayfd" >"$VQX_TMP/xvfb.log" 2>&1 &
    VQX_XVFB_PID=$!
    if ! vqx_wait_for 20 _vqx_display_number; then
        cat "$VQX_TMP/xvfb.log" >&2
        vqx_die "Xvfb did not start"
    fi
    local n
    n=$(tr -dc 0-9 <"$VQX_TMP/displayfd")
    vqx_wait_for 20 _vqx_display_answers "$n" || vqx_die "Xvfb on :$n does not answer"
    export DISPLAY=":$n"
    vqx_log "Xvfb on $DISPLAY (pid $VQX_XVFB_PID)"
}

vqx_prepare_prefix() {
    local marker="$WINEPREFIX/.vqx-prefix"
    if [[ ! -f "$marker" || "$(cat "$marker")" != "$VQX_PREFIX_VERSION" ]]; then
        _vqx_make_prefix "$marker"
    fi
    # The first Wine program of a server starts the prefix's services and desktop, which live
    # as long as the server and keep that program's stdout and stderr open: start them here,
    # on /dev/null, not inside a test whose output ctest waits to end.
    wine cmd /c exit </dev/null >/dev/null 2>&1 || vqx_die "Wine cannot run a program"
}

_vqx_make_prefix() {
    local marker=$1
    # Never deletes: another program (a lone ctest) may be using or making the same prefix.
    # wineboot -i makes a missing prefix and completes or updates an existing one.
    vqx_log "preparing the Wine prefix $WINEPREFIX (once, about 15 s)"
    mkdir -p "$WINEPREFIX"
    VQX_WINESERVER_STARTED=1
    wineboot -i >"$VQX_TMP/wineboot.log" 2>&1 || {
        cat "$VQX_TMP/wineboot.log" >&2
        vqx_die "wineboot failed"
    }
    # No window manager here: Wine must not wait for one when windows hide.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null
    # A crash ends the process (with a backtrace on stderr) instead of opening the debugger.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null
    echo "$VQX_PREFIX_VERSION" >"$marker"
}

vqx_start_wineserver() {
    mkdir -p "$WINEPREFIX"
    VQX_WINESERVER_STARTED=1
    # Exit code 2: a server for this prefix is already running (then that one serves us).
    local rc=0
    wineserver -p || rc=$?
    if ((rc != 0 && rc != 2)); then
        vqx_die "wineserver -p failed (exit code $rc)"
    fi
}
