#!/bin/sh
# Casting benchmarks: capture-to-wire latency at 1080p25 with one receiver, and the
# CPU cost of fanning one capture out to 1, 8, 16 and 32 receivers at 1080p25
# 8 Mbit/s, with whether every healthy receiver got every video frame written to
# it. Two series: the test picture (compresses to well below 8 Mbit/s), and a
# 1920x1080 Xvfb screen kept moving with noise (soak_animator), which fills the bit
# rate. ffmpeg's own real-time x264 encode of a 1080p25 test source for reference.
# Usage: bench/cast.sh [build-dir] [seconds]
# Uses the casting ports on 127.0.0.2 to 127.0.0.33: run it under
# flock /tmp/vantor-e2e.lock.
set -eu
build=${1:-build}
seconds=${2:-10}
bin=$build/bin
for program in cast_bench vantor-receiver soak_animator; do
    [ -x "$bin/$program" ] || { echo "build $program first (cmake --build $build --target cast_bench vantor-receiver soak_animator)"; exit 1; }
done
export PATH="$bin:$PATH"

work=$(mktemp -d)
xvfb= animator=
cleanup() {
    [ -z "$animator" ] || { kill "$animator" 2>/dev/null; wait "$animator" 2>/dev/null || true; }
    [ -z "$xvfb" ] || { kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null || true; }
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

run() {  # $1 receivers, $2 source (test or screen)
    "$bin/cast_bench" --receivers "$1" --seconds "$seconds" --width 1920 --fps 25 --bitrate 8 \
        --source "$2" --receiver-program "$bin/vantor-receiver" 2>"$work/cast_bench.err" ||
        { cat "$work/cast_bench.err" >&2; exit 1; }
    grep '^cast_bench:' "$work/cast_bench.err" >&2 || true
}
field() { echo "$1" | tr ' ' '\n' | sed -n "s/^$2=//p"; }

# Prints one line per fan-out run of series $1 (saved as $work/$1-N) against its
# single-receiver run.
fanOutSummary() {
    c1=$(field "$(cat "$work/$1-1")" cpu_s_per_s)
    for n in 8 16 32; do
        line=$(cat "$work/$1-$n")
        awk -v series="$1" -v n="$n" -v c1="$c1" -v cn="$(field "$line" cpu_s_per_s)" \
            -v mbps="$(field "$line" mbps_per_receiver)" -v healthy="$(field "$line" healthy)" \
            -v sent="$(field "$line" video_sent_min)" -v lost="$(field "$line" video_lost)" 'BEGIN {
          printf "%-6s %2d receivers at %.2f Mbit/s each: cpu s/s %.3f vs %.3f for 1, ratio %.3f (target <= 1.15: %s); %d of %d healthy, each sent >= %d video frames, %d lost (target 0: %s)\n",
              series, n, mbps, cn, c1, cn / c1, cn / c1 <= 1.15 ? "holds" : "MISSED", healthy, n,
              sent, lost, (lost == 0 && healthy == n) ? "holds" : "MISSED"
        }'
    done
}

echo "== capture-to-wire latency, 1080p25 8 Mbit/s, test picture, 1 receiver, ${seconds}s"
run 1 test | tee "$work/test-1"
for n in 8 16 32; do
    echo "== fan-out, test picture, $n receivers"
    run $n test | tee "$work/test-$n"
done

echo "== fan-out, moving 1920x1080 screen with noise (Xvfb)"
Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 1920x1080x24 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
i=0
while [ ! -s "$work/display" ]; do
    [ $i -lt 100 ] && kill -0 $xvfb 2>/dev/null || { echo "Xvfb did not start" >&2; exit 1; }
    sleep 0.1
    i=$((i + 1))
done
DISPLAY=":$(head -n 1 "$work/display")"
export DISPLAY
"$bin/soak_animator" >"$work/animator.out" 2>&1 &
animator=$!
sleep 1
for n in 1 8 16 32; do
    echo "== fan-out, screen, $n receivers"
    run $n screen | tee "$work/screen-$n"
done

one=$(cat "$work/test-1")
awk -v l50="$(field "$one" latency_p50_ms)" -v l99="$(field "$one" latency_p99_ms)" \
    -v e50="$(field "$one" encode_p50_ms)" 'BEGIN {
  printf "latency p50 %.2f ms = encoder p50 %.2f ms + %.2f ms (target: within 3 ms)\n", l50, e50, l50 - e50
  printf "latency p99 %.2f ms (target: below one frame interval, 40 ms)\n", l99
}'
fanOutSummary test
fanOutSummary screen

if command -v ffmpeg >/dev/null; then
  echo "== reference: ffmpeg x264, real-time 1080p25 8 Mbit/s test source, ${seconds}s, null output"
  /usr/bin/time -f "ffmpeg cpu_s_per_s=%e %U %S" sh -c "ffmpeg -hide_banner -loglevel error -re -f lavfi -i testsrc2=size=1920x1080:rate=25 -t $seconds -c:v libx264 -preset veryfast -tune zerolatency -b:v 8M -f null - " 2>&1 |
    awk '/cpu_s_per_s/ { split($0, a, "="); split(a[2], v, " "); printf "ffmpeg cpu_s_per_s=%.3f\n", (v[2] + v[3]) / v[1] }'
fi
