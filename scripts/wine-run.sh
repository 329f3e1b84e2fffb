#!/bin/sh
# Runs one Windows program of the cross build under Wine (CTest's emulator, see
# cmake/toolchains/mingw-w64-x86_64.cmake):  wine-run.sh PROGRAM.exe [args...]
# The Wine prefix is WINEPREFIX, else wine-prefix/ of the build tree the current
# directory lies in (scripts/wine-session.sh prepares it). A crash ends the
# program with a failure at once: no debugger and no crash dialog.
set -u
if [ -z "${WINEPREFIX:-}" ]; then
    dir=$(pwd)
    while [ "$dir" != / ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir=$(dirname "$dir"); done
    if [ ! -d "$dir/wine-prefix" ]; then
        echo "wine-run.sh: no WINEPREFIX and no wine-prefix/ in a build tree above $(pwd)" >&2
        exit 1
    fi
    WINEPREFIX=$dir/wine-prefix
fi
export WINEPREFIX
export WINEDEBUG=-all
export WINEDLLOVERRIDES="winedbg.exe=d;mscoree,mshtml="

# Wine's services (started by wine-session.sh) end with a program whose socket
# send timed out, and Wine then starts them anew for the next program, attached
# to its output, so that CTest waits for them seconds after the program ended.
# They are brought back here first, detached, when they are gone.
services_running() {
    for pid in $(pgrep -f 'system32.services\.exe'); do
        tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" &&
            return 0
    done
    return 1
}
services_running || wine wineboot </dev/null >/dev/null 2>&1

exec wine "$@"
