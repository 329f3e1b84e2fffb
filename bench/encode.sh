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

# ffmpeg lets x264 use every core; H264Encoder encodes on one thread (the pipeline's
# video loop), so the single-thread run is the like-for-like figure.
run_ffmpeg() {  # $1: output file, then extra ffmpeg options
    out=$1
    shift
    ffmpeg -hide_banner -nostdin -benchmark \
        -f rawvideo -pix_fmt bgra -s 1920x1080 -r 25 -i "$raw" \
        -pix_fmt yuv420p -c:v libx264 -preset ultrafast -tune zerolatency \
        -b:v 4M -maxrate 4M -minrate 4M -bufsize 4M -g 25 -bf 0 "$@" -f null - \
        >"$out" 2>&1 || { cat "$out"; exit 1; }
    grep '^bench: utime' "$out"
}
echo "== ffmpeg command line on the same frames (x264 threads: auto)"
run_ffmpeg "$work/ffmpeg.txt"
echo "== ffmpeg command line, x264 on one thread"
run_ffmpeg "$work/ffmpeg1.txt" -threads 1

value() { sed -n "s/^$1=//p" "$work/ours.txt"; }
field() { grep '^bench: utime' "$1" | sed -n "s/.*$2=\([0-9.]*\)s.*/\1/p"; }

awk -v f="$frames" -v ours="$(value encoder_fps)" -v ourscpu="$(value encoder_cpu_fps)" \
    -v u="$(field "$work/ffmpeg.txt" utime)" -v s="$(field "$work/ffmpeg.txt" stime)" \
    -v r="$(field "$work/ffmpeg.txt" rtime)" \
    -v u1="$(field "$work/ffmpeg1.txt" utime)" -v s1="$(field "$work/ffmpeg1.txt" stime)" \
    -v r1="$(field "$work/ffmpeg1.txt" rtime)" \
    -v p50="$(value encode_ms_p50)" -v p95="$(value encode_ms_p95)" \
    -v yuv="$(value libyuv_convert_ms_p50)" -v sws="$(value swscale_convert_ms_p50)" 'BEGIN {
    ff = f / r; ffcpu = f / (u + s); ff1 = f / r1; ff1cpu = f / (u1 + s1)
    printf "\n== Summary (%d frames, 1920x1080)\n", f
    printf "H264Encoder          %7.1f fps wall  %7.1f fps per CPU second\n", ours, ourscpu
    printf "ffmpeg CLI           %7.1f fps wall  %7.1f fps per CPU second\n", ff, ffcpu
    printf "ffmpeg CLI -threads 1%7.1f fps wall  %7.1f fps per CPU second\n", ff1, ff1cpu
    printf "ratio vs ffmpeg      %7.2fx wall     %7.2fx per CPU second (target >= 1.5x)\n", ours / ff, ourscpu / ffcpu
    printf "ratio vs -threads 1  %7.2fx wall     %7.2fx per CPU second\n", ours / ff1, ourscpu / ff1cpu
    printf "per-frame encode (wall) p50 %.2f ms, p95 %.2f ms\n", p50, p95
    printf "BGRA->I420 alone (CPU time): libyuv %.2f ms, swscale %.2f ms (%.1fx)\n", yuv, sws, sws / yuv
}'
