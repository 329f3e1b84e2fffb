#!/usr/bin/env bash
# Runs a command beside a fresh Wine prefix with its services up:
#   wine-session.sh BUILD_DIR COMMAND [args...]
# Creates BUILD_DIR/wine-prefix anew, keeps one wineserver running for the whole
# command (so that each test program starts in a fraction of a second instead of
# waiting for Wine's services) and stops it afterwards. Run it under an X server
# (Direct3D needs one) and a sound server, if the command needs them. The
# command's exit status is ours.
set -uo pipefail
if [ $# -lt 2 ]; then
  echo "usage: $0 BUILD_DIR COMMAND [args...]" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
shift
export WINEPREFIX=$build/wine-prefix
export WINEDEBUG=${WINEDEBUG_SESSION:--all}
# No debugger and no crash dialog (a crashing test fails at once), no .NET or
# browser engine installs.
export WINEDLLOVERRIDES="winedbg.exe=d;mscoree,mshtml="
log=$build/wine-session.log

stop_server() { wineserver -k >/dev/null 2>&1; wineserver -w >/dev/null 2>&1; }
# A server left by an interrupted run would keep the old prefix's files open.
[ -d "$WINEPREFIX" ] && stop_server
rm -rf "$WINEPREFIX"
mkdir -p "$WINEPREFIX"
trap stop_server EXIT

# Everything detached from our standard streams: Wine's services inherit them,
# and CTest (or a pipe reader) would wait for them to close.
if ! wine wineboot --init </dev/null >"$log" 2>&1; then
  echo "wine-session.sh: wineboot --init failed (see $log)" >&2
  exit 1
fi
# Without a window manager each destroyed visible window costs 2 s unless Wine
# manages its windows itself.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
  </dev/null >>"$log" 2>&1
wineserver -p </dev/null >>"$log" 2>&1
wine wineboot </dev/null >>"$log" 2>&1

"$@"
