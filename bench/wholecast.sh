#!/bin/sh
# Whole cast of a continuously changing 1920x1080 Xvfb screen at 30 fps, 8 Mbit/s, to a
# receiver on loopback: frames per second arriving and CPU spent, ours (vantor-cast ->
# vantor-receiver) against ffmpeg (x11grab -> libx264 ultrafast/zerolatency -> mpegts over
# TCP -> a second ffmpeg that copies the stream to the null muxer and counts frames).
# Video only on both sides is the like-for-like pair; ours with system audio is a third line.
# Usage: bench/wholecast.sh [seconds (default 30)] [build dir (default <repo>/build)]
# Needs vantor-cast, vantor-receiver and capture_bench (its "animate" mode) built.
set -u
here=$(cd "$(dirname "$0")" && pwd)
seconds=${1:-30}
build=${2:-$here/../build}
bin=$build/bin
for program in vantor-cast vantor-receiver capture_bench; do
    [ -x "$bin/$program" ] || {
        echo "build $program first (cmake --build $build --target vantor-cast vantor-receiver capture_bench)" >&2
        exit 1
    }
done
[ "$seconds" -ge 8 ] 2>/dev/null || { echo "seconds must be a number >= 8" >&2; exit 2; }

# The system audio line needs a PulseAudio server: run the whole script under a private one.
if [ -z "${VANTOR_PULSE_DIR:-}" ]; then
    exec "$here/../tests/audiodevices/with-pulseaudio.sh" "$0" "$seconds" "$build"
fi

# Steady state: skip the first 2 s (answer, encoder start) and the last second of each run.
warmup=2
window=$((seconds - warmup - 1))

tmp=$(mktemp -d "${TMPDIR:-/tmp}/wholecast.XXXXXX") || exit 1
xvfb= animator= receiver= sender= ffSink=
stopProcess() {  # stop a child of ours and reap it
    [ -n "$1" ] || return 0
    kill "$1" 2>/dev/null
    wait "$1" 2>/dev/null
}
cleanup() {
    trap - EXIT INT TERM
    stopProcess "$sender"
    stopProcess "$ffSink"
    stopProcess "$receiver"
    stopProcess "$animator"
    stopProcess "$xvfb"
    rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

fail() {
    echo "wholecast: $*" >&2
    exit 1
}

cpuMs() {  # utime + stime in ms of a process (PID) or one of its threads (PID/task/TID)
    sed 's/.*) //' "/proc/$1/stat" |
        awk -v t="$(getconf CLK_TCK)" '{ printf "%.0f", ($12 + $13) * 1000 / t }'
}
nowMs() { echo $(($(date +%s%N) / 1000000)); }
# Waits up to $2 tenths of a second for a line matching $3 in file $1.
waitForLine() {
    i=0
    while [ $i -lt "$2" ]; do
        grep -q "$3" "$1" 2>/dev/null && return 0
        sleep 0.1
        i=$((i + 1))
    done
    return 1
}

echo "== load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 1920x1080x24 3>"$tmp/display" >/dev/null 2>&1 &
xvfb=$!
i=0
while [ ! -s "$tmp/display" ]; do
    [ $i -lt 100 ] && kill -0 $xvfb 2>/dev/null || fail "Xvfb did not start"
    sleep 0.1
    i=$((i + 1))
done
DISPLAY=":$(head -n 1 "$tmp/display")"
export DISPLAY
"$bin/capture_bench" animate &
animator=$!
sleep 1
kill -0 $animator 2>/dev/null || fail "the animator did not start"

# The animation's drawing costs the X server CPU of its own: measured alone and subtracted.
baseSeconds=10
b0=$(cpuMs $xvfb)
t0=$(nowMs)
sleep $baseSeconds
b1=$(cpuMs $xvfb)
t1=$(nowMs)
baselinePerS=$(awk -v c=$((b1 - b0)) -v t=$((t1 - t0)) 'BEGIN { printf "%.1f", c * 1000 / t }')
echo "== X server CPU for the animation alone: $baselinePerS ms/s"

# Prints "fps ownMsPerFrame ownSPerS withXMsPerFrame withXSPerS" for the window from two
# samples of "frames streamMs" ($1, $2: frames that arrived and their stream time, which
# is free of the jitter of when the counters were printed) and the differences $3 own CPU
# ms, $4 X server CPU ms, $5 wall-clock ms.
figures() {
    echo "$1 $2" | awk -v c="$3" -v x="$4" -v t="$5" -v base="$baselinePerS" '{
        f = $3 - $1; s = $4 - $2
        extra = x - base * t / 1000; if (extra < 0) extra = 0
        if (f <= 0 || s <= 0) { print "0 0 0 0 0"; exit }
        fps = f * 1000 / s; n = fps * t / 1000  # frames arriving during the CPU window
        printf "%.2f %.2f %.3f %.2f %.3f\n", fps, c / n, c / t, (c + extra) / n, (c + extra) / t
    }'
}
describe() {  # $1 label, $2 figures line
    echo "$2" | awk -v label="$1" '{
        printf "%-24s fps %5.2f | own CPU %6.2f ms/frame %5.3f s/s | with X server %6.2f ms/frame %5.3f s/s\n",
            label, $1, $2, $3, $4, $5
    }'
}
lastStatusFrames() {  # "frames streamMs" from the receiver's latest status line
    grep '^status ' "$1" | tail -n 1 |
        sed -n 's/.*video_frames=\([0-9]*\).*last_video_ts=\([0-9]*\).*/\1 \2/p'
}

# ours: $1 = audio mode (none or system); prints the figures line.
runOurs() {
    log=$tmp/receiver-$1.log
    # Tests elsewhere may hold the casting ports for a while: retry for up to a minute.
    tries=0
    while :; do
        "$bin/vantor-receiver" --bind 127.0.0.2 --no-announce --answer accept >"$log" 2>&1 &
        receiver=$!
        i=0
        while [ $i -lt 100 ] && kill -0 $receiver 2>/dev/null && ! grep -q '^ready ' "$log"; do
            sleep 0.1
            i=$((i + 1))
        done
        grep -q '^ready ' "$log" && break
        stopProcess $receiver
        receiver=
        tries=$((tries + 1))
        [ $tries -lt 30 ] || { cat "$log" >&2; fail "vantor-receiver did not get ready"; }
        sleep 2
    done
    VANTOR_MULTICAST_INTERFACE=lo "$bin/vantor-cast" send --to 127.0.0.2 --seconds "$seconds" \
        --source screen --audio "$1" --fps 30 --bitrate 8 --resolution 1920 \
        >"$tmp/cast-$1.out" 2>"$tmp/cast-$1.err" &
    sender=$!
    sleep $warmup
    kill -0 $sender 2>/dev/null || { cat "$tmp/cast-$1.err" >&2; fail "vantor-cast ended early"; }
    m0=$(cpuMs "$sender/task/$sender")
    f0=$(lastStatusFrames "$log"); c0=$(cpuMs $sender); x0=$(cpuMs $xvfb); t0=$(nowMs)
    sleep $window
    m1=$(cpuMs "$sender/task/$sender")
    f1=$(lastStatusFrames "$log"); c1=$(cpuMs $sender); x1=$(cpuMs $xvfb); t1=$(nowMs)
    wait $sender
    status=$?
    sender=
    waitForLine "$log" 50 '^cast-summary ' || echo "wholecast: no cast-summary from the receiver" >&2
    stopProcess $receiver
    receiver=
    summary=$(grep '^cast-summary ' "$log" | tail -n 1)
    total=$(echo "$summary" | sed -n 's/.*video_frames=\([0-9]*\).*/\1/p')
    echo "   ours --audio $1: vantor-cast exit $status, $(grep -c '^status ' "$log") status lines;" \
        "whole cast $total frames in $seconds s = $(awk -v n="${total:-0}" -v s="$seconds" 'BEGIN { printf "%.2f", n / s }') fps;" \
        "$(grep '^encode ' "$tmp/cast-$1.out");" \
        "main (event loop) thread $(awk -v m=$((m1 - m0)) -v t=$((t1 - t0)) 'BEGIN { printf "%.3f", m / t }') s/s of the CPU" >&2
    # Where the pictures' time went, as vantor-cast reports it.
    grep '^stage ' "$tmp/cast-$1.out" | sed 's/^/     /' >&2
    figures "${f0:-0 0}" "${f1:-0 0}" $((c1 - c0)) $((x1 - x0)) $((t1 - t0))
}

lastProgressFrames() {  # ffmpeg's latest "frame=" progress figure
    tr '\r' '\n' <"$1" | grep -o 'frame= *[0-9]*' | tail -n 1 | tr -dc 0-9
}
lastProgress() {  # "frames streamMs" from ffmpeg's latest progress line
    tr '\r' '\n' <"$1" | grep 'frame=.*time=' | tail -n 1 |
        sed -n 's/.*frame= *\([0-9]*\).*time=\([0-9]*\):\([0-9]*\):\([0-9.]*\).*/\1 \2 \3 \4/p' |
        awk '{ printf "%d %.0f\n", $1, (($2 * 60 + $3) * 60 + $4) * 1000 }'
}

runFfmpeg() {
    port=$((40000 + $$ % 2000))
    sinkLog=$tmp/ffmpeg-sink.log
    ffmpeg -hide_banner -nostdin -fflags nobuffer -probesize 65536 -analyzeduration 100000 -f mpegts -i "tcp://127.0.0.3:$port?listen=1" \
        -c copy -f null - >"$sinkLog" 2>&1 &
    ffSink=$!
    i=0
    until ss -ltnH "src 127.0.0.3:$port" | grep -q .; do
        [ $i -lt 100 ] && kill -0 $ffSink 2>/dev/null || { cat "$sinkLog" >&2; fail "the ffmpeg sink did not listen"; }
        sleep 0.1
        i=$((i + 1))
    done
    senderLog=$tmp/ffmpeg-sender.log
    ffmpeg -hide_banner -nostdin -f x11grab -framerate 30 -video_size 1920x1080 -i "$DISPLAY" \
        -t "$seconds" -c:v libx264 -preset ultrafast -tune zerolatency \
        -b:v 8M -maxrate 8M -minrate 8M -bufsize 8M -g 30 -bf 0 -pix_fmt yuv420p \
        -f mpegts "tcp://127.0.0.3:$port" >"$senderLog" 2>&1 &
    sender=$!
    sleep $warmup
    kill -0 $sender 2>/dev/null || { cat "$senderLog" >&2; fail "ffmpeg ended early"; }
    f0=$(lastProgress "$sinkLog"); c0=$(cpuMs $sender); x0=$(cpuMs $xvfb); t0=$(nowMs)
    sleep $window
    f1=$(lastProgress "$sinkLog"); c1=$(cpuMs $sender); x1=$(cpuMs $xvfb); t1=$(nowMs)
    wait $sender
    status=$?
    sender=
    waitForLine "$sinkLog" 50 'muxing overhead' || true
    stopProcess $ffSink
    ffSink=
    echo "   ffmpeg: exit $status; sent $(lastProgressFrames "$senderLog") frames," \
        "sink received $(lastProgressFrames "$sinkLog") frames in $seconds s" >&2
    figures "${f0:-0 0}" "${f1:-0 0}" $((c1 - c0)) $((x1 - x0)) $((t1 - t0))
}

echo "== ${seconds} s per run, figures over the steady ${window} s after a ${warmup} s warm-up"
# Run in this shell (not in $(...)) so that cleanup knows every process still running.
runOurs none >"$tmp/ours"
ours=$(cat "$tmp/ours")
describe "ours, video only" "$ours"
runFfmpeg >"$tmp/ffmpeg"
ff=$(cat "$tmp/ffmpeg")
describe "ffmpeg, video only" "$ff"
runOurs system >"$tmp/ours-audio"
oursAudio=$(cat "$tmp/ours-audio")
describe "ours, --audio system" "$oursAudio"
echo "== load average after: $(cut -d' ' -f1-3 /proc/loadavg)"

echo "$ours $ff" | awk '{
    if ($6 <= 0 || $7 <= 0 || $9 <= 0) { print "ffmpeg delivered no frames: no ratios"; exit }
    fps = $1 / $6; own = $2 / $7; withX = $4 / $9
    printf "ratio ours/ffmpeg (video only): fps %.3f | CPU per frame own %.2f, with X server %.2f | CPU s/s own %.2f, with X server %.2f\n",
        fps, own, withX, $3 / $8, $5 / $10
    printf "target same frame rate (ours >= 0.98x ffmpeg and >= 29.4 fps): %s\n", (fps >= 0.98 && $1 >= 29.4) ? "holds" : "MISSED"
    printf "target CPU per frame <= 0.7x ffmpeg: own %s, with X server %s\n",
        own <= 0.7 ? "holds" : "MISSED", withX <= 0.7 ? "holds" : "MISSED"
}'
