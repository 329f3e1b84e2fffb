#!/usr/bin/env bash
# Runs a command beside a fresh Wine prefix with its services up:
#   wine-session.sh BUILD_DIR COMMAND [args...]
# Creates BUILD_DIR/wine-prefix anew, keeps one persistent wineserver running for
# the whole command (so that each test program starts in a fraction of a second
# instead of waiting for Wine's services; scripts/wine-run.sh fails a program
# when that server is gone) and stops it afterwards. Run it under an X server
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
# The server that wineboot started lingers a moment and is not persistent: it
# ends as soon as no Windows program is left. No second server starts beside it
# ("wineserver -p" then exits with 2 and changes nothing), so wait for it to end
# first. Without that wait the session ran on that server: after the socket
# tests Wine's desktop program (explorer.exe) ended as well, the server with it,
# and every later test booted Wine anew.
wineserver -w
if ! wineserver -p </dev/null >>"$log" 2>&1; then
  echo "wine-session.sh: could not start a persistent wineserver (see $log)" >&2
  exit 1
fi
wine wineboot </dev/null >>"$log" 2>&1
# wine-run.sh checks before each program that this server still runs.
server_pid=
for pid in $(pgrep -x wineserver64; pgrep -x wineserver); do
  if tr '\0' '\n' 2>/dev/null <"/proc/$pid/environ" | grep -qxF "WINEPREFIX=$WINEPREFIX"; then
    server_pid=$pid
    break
  fi
done
if [ -z "$server_pid" ]; then
  echo "wine-session.sh: the persistent wineserver of $WINEPREFIX is not running" >&2
  exit 1
fi
export VANTOR_WINESERVER_PID=$server_pid
# Wine's desktop program ends a second after its last user and the next test
# would start it anew, holding the test's output open: a program of the build
# keeps the desktop in use until the server is stopped.
keeper=$build/bin/wine_desktop_keeper.exe
if [ -f "$keeper" ]; then
  wine "$keeper" </dev/null >>"$log" 2>&1 &
fi

"$@"
