#!/bin/sh
# H.264 encoding speed: H264Encoder (libyuv + libx264 through libavcodec) against the
# ffmpeg command line encoding the same raw BGRA frames with the same x264 settings.
# Usage: bench/encode.sh [build-dir] [frames]   (default build, 300)
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
frames=${2:-300}
bench=$build/bin/bench_encode
if [ ! -x "$bench" ]; then
    cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$build" --target bench_encode -j2 >/dev/null
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
raw=$work/frames.bgra

echo "== H264Encoder, $frames frames of a moving 1920x1080 desktop (4 Mbit/s, 25 fps, gop 25)"
"$bench" --frames "$frames" --write "$raw" | tee "$work/ours.txt"
cat "$raw" >/dev/null  # into the page cache, so ffmpeg does not wait for the disk

echo "== ffmpeg command line on the same frames"
ffmpeg -hide_banner -nostdin -benchmark \
    -f rawvideo -pix_fmt bgra -s 1920x1080 -r 25 -i "$raw" \
    -pix_fmt yuv420p -c:v libx264 -preset ultrafast -tune zerolatency \
    -b:v 4M -maxrate 4M -minrate 4M -bufsize 4M -g 25 -bf 0 -f null - \
    >"$work/ffmpeg.txt" 2>&1 || { cat "$work/ffmpeg.txt"; exit 1; }
grep '^bench:' "$work/ffmpeg.txt"

value() { sed -n "s/^$1=//p" "$work/ours.txt"; }
bench_line=$(grep '^bench: utime' "$work/ffmpeg.txt")
utime=$(echo "$bench_line" | sed -n 's/.*utime=\([0-9.]*\)s.*/\1/p')
stime=$(echo "$bench_line" | sed -n 's/.*stime=\([0-9.]*\)s.*/\1/p')
rtime=$(echo "$bench_line" | sed -n 's/.*rtime=\([0-9.]*\)s.*/\1/p')

awk -v f="$frames" -v ours="$(value encoder_fps)" -v ourscpu="$(value encoder_cpu_fps)" \
    -v u="$utime" -v s="$stime" -v r="$rtime" \
    -v p50="$(value encode_ms_p50)" -v p95="$(value encode_ms_p95)" \
    -v yuv="$(value libyuv_convert_ms_p50)" -v sws="$(value swscale_convert_ms_p50)" 'BEGIN {
    ff = f / r; ffcpu = f / (u + s)
    printf "\n== Summary (%d frames, 1920x1080)\n", f
    printf "H264Encoder      %7.1f fps wall   %7.1f fps per CPU second\n", ours, ourscpu
    printf "ffmpeg CLI       %7.1f fps wall   %7.1f fps per CPU second\n", ff, ffcpu
    printf "ratio            %7.2fx wall      %7.2fx per CPU second   (target >= 1.5x)\n", ours / ff, ourscpu / ffcpu
    printf "per-frame encode p50 %.2f ms, p95 %.2f ms\n", p50, p95
    printf "BGRA->I420 alone (CPU time): libyuv %.2f ms, swscale %.2f ms (%.1fx)\n", yuv, sws, sws / yuv
}'
