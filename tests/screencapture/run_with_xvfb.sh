#!/bin/sh
# Runs one test binary against a private Xvfb (with Composite) and removes the
# server afterwards. Usage: run_with_xvfb.sh <monitors: 1 or 2> <binary> [args...]
# Two monitors: a 3840x1080 screen split into two 1920x1080 RandR monitors.
# XVFB_EXTENSION=-Composite starts the server without the Composite extension.
set -u
monitors=$1
shift
width=1920
[ "$monitors" = 2 ] && width=3840

numberFile=$(mktemp)
# -displayfd picks a free display number and reports it once the server listens;
# -noreset keeps our monitor layout when the last client leaves.
composite=+extension
[ "${XVFB_EXTENSION:-}" = -Composite ] && composite=-extension
Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 ${width}x1080x24 $composite Composite \
    3>"$numberFile" >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; wait $xvfb 2>/dev/null; rm -f "$numberFile"' EXIT INT TERM

tries=0
while [ ! -s "$numberFile" ]; do
    tries=$((tries + 1))
    if [ $tries -gt 100 ] || ! kill -0 $xvfb 2>/dev/null; then
        echo "Xvfb did not start" >&2
        exit 1
    fi
    sleep 0.1
done
DISPLAY=":$(head -n 1 "$numberFile")"
export DISPLAY

if [ "$monitors" = 2 ]; then
    xrandr --setmonitor LEFT 1920/508x1080/286+0+0 screen >/dev/null &&
        xrandr --setmonitor RIGHT 1920/508x1080/286+1920+0 none >/dev/null || exit 1
fi

"$@"
