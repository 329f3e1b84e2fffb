#!/bin/sh
# CPU per captured 1920x1080 frame (our process + the X server) while the screen
# changes all the time, against ffmpeg's x11grab at 30 fps on the same display.
# Usage: bench/capture.sh [build dir] [seconds]
set -u
build=${1:-build}
seconds=${2:-10}
bench="$build/bin/capture_bench"
[ -x "$bench" ] || { echo "build capture_bench first ($bench)" >&2; exit 1; }

numberFile=$(mktemp)
Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 1920x1080x24 3>"$numberFile" >/dev/null 2>&1 &
xvfb=$!
cleanup() {
    [ -n "${animator:-}" ] && kill "$animator" 2>/dev/null
    [ -n "${ffmpegPid:-}" ] && kill "$ffmpegPid" 2>/dev/null
    kill $xvfb 2>/dev/null
    rm -f "$numberFile" "${ffmpegLog:-}"
}
trap cleanup EXIT INT TERM
while [ ! -s "$numberFile" ]; do sleep 0.1; done
DISPLAY=":$(head -n 1 "$numberFile")"
export DISPLAY

cpuMs() {  # utime + stime of a process in ms
    ticks=$(getconf CLK_TCK)
    sed 's/.*) //' "/proc/$1/stat" | awk -v t="$ticks" '{ printf "%.0f", ($12 + $13) * 1000 / t }'
}

"$bench" animate &
animator=$!
sleep 1

# The animator's own drawing costs the server CPU too; measure it alone.
b0=$(cpuMs $xvfb); sleep "$seconds"; b1=$(cpuMs $xvfb)
baseline=$((b1 - b0))
echo "== X server CPU for the animation alone over ${seconds} s: ${baseline} ms"

echo "== ours, frame-change interval 33 ms (30 fps)"
ours30=$("$bench" measure "$seconds" $xvfb 33)
echo "$ours30"
echo "== ours, frame-change interval 10 ms (as MixScreenCapture sets it)"
ours100=$("$bench" measure "$seconds" $xvfb 10)
echo "$ours100"

echo "== ffmpeg -f x11grab -framerate 30 -video_size 1920x1080 -f null"
ffmpegLog=$(mktemp)
ffmpeg -hide_banner -nostdin -f x11grab -framerate 30 -video_size 1920x1080 -i "$DISPLAY" \
    -f null - >"$ffmpegLog" 2>&1 &
ffmpegPid=$!
sleep 1
frames0=$(tr '\r' '\n' <"$ffmpegLog" | grep -o 'frame= *[0-9]*' | tail -n 1 | tr -dc 0-9)
f0=$(cpuMs $ffmpegPid); x0=$(cpuMs $xvfb)
sleep "$seconds"
f1=$(cpuMs $ffmpegPid); x1=$(cpuMs $xvfb)
frames1=$(tr '\r' '\n' <"$ffmpegLog" | grep -o 'frame= *[0-9]*' | tail -n 1 | tr -dc 0-9)
kill $ffmpegPid; wait $ffmpegPid 2>/dev/null; ffmpegPid=
ffFrames=$(( ${frames1:-0} - ${frames0:-0} ))
echo "frames $ffFrames ffmpeg_cpu_ms $((f1 - f0)) server_cpu_ms $((x1 - x0))"

echo "$ours30" | awk -v ff="$ffFrames" -v fc=$((f1 - f0)) -v fx=$((x1 - x0)) -v base="$baseline" '
{ for (i = 1; i < NF; i += 2) v[$i] = $(i + 1) }
END {
    if (ff <= 0) { print "ffmpeg delivered no frames"; exit }
    ffOwn = fc / ff; ffTotal = (fc + fx - base) / ff
    ours = v["our_ms_per_frame"]; oursTotal = (v["our_cpu_ms"] + v["server_cpu_ms"] - base) / v["frames"]
    printf "per frame at 30 fps (X server minus the animation): ours %.3f ms own CPU, %.3f ms with X server; ffmpeg %.3f ms own, %.3f ms with X server\n", ours, oursTotal, ffOwn, ffTotal
    printf "ratio ours/ffmpeg: own CPU %.2f, with X server %.2f (target: ours <= 1 ms own CPU per frame)\n", ours / ffOwn, oursTotal / ffTotal
}'
