#!/bin/sh
# Heap allocations per frame in the steady state, for the test picture and for
# the X11 screen capture of a continuously changing 1920x1080 Xvfb screen.
# Target: no allocation of 1 MiB or more per frame (frame buffers come from pools).
# Usage: bench/alloc.sh [build dir] [seconds]
set -u
build=${1:-build}
seconds=${2:-10}
bin=$build/bin
[ -x "$bin/alloc_bench" ] || { echo "build alloc_bench first ($bin/alloc_bench)" >&2; exit 1; }

echo "== test picture 1080p25 with the test tone"
"$bin/alloc_bench" --source test --seconds "$seconds" 2>/dev/null

[ -x "$bin/capture_bench" ] || { echo "(capture_bench not built: screen run skipped)"; exit 0; }
numberFile=$(mktemp)
Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 1920x1080x24 3>"$numberFile" >/dev/null 2>&1 &
xvfb=$!
trap 'kill $animator $xvfb 2>/dev/null; rm -f "$numberFile"' EXIT INT TERM
while [ ! -s "$numberFile" ]; do sleep 0.1; done
DISPLAY=":$(head -n 1 "$numberFile")"
export DISPLAY
"$bin/capture_bench" animate &
animator=$!
sleep 1
echo "== X11 screen capture 1080p25 (screen changing every frame), video only"
"$bin/alloc_bench" --source screen --seconds "$seconds" 2>/dev/null
