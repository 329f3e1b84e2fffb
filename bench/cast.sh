#!/bin/sh
# Casting benchmarks: capture-to-wire latency at 1080p25 with one receiver, and the
# CPU cost of fanning one capture out to 1 and to 8 receivers at 1080p25 8 Mbit/s,
# with ffmpeg's own real-time x264 encode of a 1080p25 test source for reference.
# Usage: bench/cast.sh [build-dir] [seconds]
set -eu
build=${1:-build}
seconds=${2:-10}
bin=$build/bin
[ -x "$bin/cast_bench" ] || { echo "build cast_bench and vantor-receiver first (cmake --build $build --target cast_bench vantor-receiver)"; exit 1; }
export PATH="$bin:$PATH"

echo "== capture-to-wire latency, 1080p25 8 Mbit/s, 1 receiver, ${seconds}s"
one=$("$bin/cast_bench" --receivers 1 --seconds "$seconds" --width 1920 --fps 25 --bitrate 8 --receiver-program "$bin/vantor-receiver")
echo "$one"
echo "== fan-out, 8 receivers"
eight=$("$bin/cast_bench" --receivers 8 --seconds "$seconds" --width 1920 --fps 25 --bitrate 8 --receiver-program "$bin/vantor-receiver")
echo "$eight"

field() { echo "$1" | tr ' ' '\n' | sed -n "s/^$2=//p"; }
awk -v l50="$(field "$one" latency_p50_ms)" -v l99="$(field "$one" latency_p99_ms)" \
    -v e50="$(field "$one" encode_p50_ms)" -v c1="$(field "$one" cpu_s_per_s)" \
    -v c8="$(field "$eight" cpu_s_per_s)" 'BEGIN {
  printf "latency p50 %.2f ms = encoder p50 %.2f ms + %.2f ms (target: within 3 ms)\n", l50, e50, l50 - e50
  printf "latency p99 %.2f ms (target: below one frame interval, 40 ms)\n", l99
  printf "cpu s/s: 1 receiver %.3f, 8 receivers %.3f, ratio %.3f (target <= 1.15)\n", c1, c8, c8 / c1
}'

if command -v ffmpeg >/dev/null; then
  echo "== reference: ffmpeg x264, real-time 1080p25 8 Mbit/s test source, ${seconds}s, null output"
  /usr/bin/time -f "ffmpeg cpu_s_per_s=%e %U %S" sh -c "ffmpeg -hide_banner -loglevel error -re -f lavfi -i testsrc2=size=1920x1080:rate=25 -t $seconds -c:v libx264 -preset veryfast -tune zerolatency -b:v 8M -f null - " 2>&1 |
    awk '/cpu_s_per_s/ { split($0, a, "="); split(a[2], v, " "); printf "ffmpeg cpu_s_per_s=%.3f\n", (v[2] + v[3]) / v[1] }'
fi
