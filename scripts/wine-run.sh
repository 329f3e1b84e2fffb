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

# Inside scripts/wine-session.sh every program shares its one persistent
# wineserver. Should that server be gone, Wine would quietly boot anew for each
# later program (14-22 s each) and the programs would no longer share a desktop:
# that is a failure of whatever test ran before, said here instead of hidden.
if [ -n "${VANTOR_WINESERVER_PID:-}" ] &&
    ! tr '\0' '\n' 2>/dev/null <"/proc/$VANTOR_WINESERVER_PID/environ" |
        grep -qxF "WINEPREFIX=$WINEPREFIX"; then
    echo "wine-run.sh: the Wine session's wineserver (pid $VANTOR_WINESERVER_PID) is gone" >&2
    exit 1
fi

exec wine "$@"
