#!/usr/bin/env bash
# What this machine holds: each resolution preset of the settings page (标清 640x480,
# 高清 1280x720, 1080P 1920x1080, 4K 3840x2160) cast at 30 fps and 8 Mbit/s from a
# 1920x1080 Xvfb screen, and 4K also from a 3840x2160 one, to a receiver on loopback.
# The screen keeps moving (soak_animator: a sweeping bar and a block of noise that
# holds the encoder at its full bit rate). For each: the frame rate that arrived
# (from the stream's own timestamps) and whether it keeps 30 fps, the encoder's time
# per frame p50/p95 (conversion to I420 at the preset's size plus libx264, as
# vantor-cast reports it) and vantor-cast's CPU.
#   bench/presets.sh [seconds per preset (default 15)] [build dir (default <repo>/build)]
# The last lines are one "preset ..." line per run, for scripts. Uses the casting
# ports on 127.0.0.2: run it under flock /tmp/vantor-e2e.lock.
set -u
here=$(cd "$(dirname "$0")" && pwd)
seconds=${1:-15}
build=${2:-$here/../build}
bin=$build/bin
for program in vantor-cast vantor-receiver soak_animator; do
    [ -x "$bin/$program" ] || {
        echo "build $program first (cmake --build $build --target vantor-cast vantor-receiver soak_animator)" >&2
        exit 1
    }
done
[ "$seconds" -ge 8 ] 2>/dev/null || { echo "seconds must be a number >= 8" >&2; exit 2; }

# Steady state: the first 3 s (answer, encoder start) and the last second are left out.
warmup=3
window=$((seconds - warmup - 1))
fps=30
mbps=8

tmp=$(mktemp -d "${TMPDIR:-/tmp}/presets.XXXXXX") || exit 1
xvfb= animator= receiver= sender=
stopProcess() {  # stop a child of ours and reap it
    [ -n "$1" ] || return 0
    kill "$1" 2>/dev/null
    wait "$1" 2>/dev/null
}
cleanup() {
    trap - EXIT INT TERM
    stopProcess "$sender"
    stopProcess "$receiver"
    stopProcess "$animator"
    stopProcess "$xvfb"
    rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
fail() {
    echo "presets: $*" >&2
    exit 1
}
waitForLine() {  # file, tenths of a second, pattern
    local i=0
    while [ $i -lt "$2" ]; do
        grep -q "$3" "$1" 2>/dev/null && return 0
        sleep 0.1
        i=$((i + 1))
    done
    return 1
}
cpuMs() {  # utime + stime of a process, in ms
    sed 's/.*) //' "/proc/$1/stat" |
        awk -v t="$(getconf CLK_TCK)" '{ printf "%.0f", ($12 + $13) * 1000 / t }'
}
nowMs() { echo $(($(date +%s%N) / 1000000)); }
lastStatusFrames() {  # "frames streamMs" from the receiver's latest status line
    grep '^status ' "$1" | tail -n 1 |
        sed -n 's/.*video_frames=\([0-9]*\).*last_video_ts=\([0-9]*\).*/\1 \2/p'
}
field() {  # value of key $2 in line $1
    echo "$1" | tr ' ' '\n' | sed -n "s/^$2=//p"
}

startScreen() {  # $1 WxH: a private Xvfb of that size with the animator on it
    stopProcess "$animator"
    stopProcess "$xvfb"
    animator= xvfb=
    rm -f "$tmp/display"
    Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 "$1x24" 3>"$tmp/display" >/dev/null 2>&1 &
    xvfb=$!
    local i=0
    while [ ! -s "$tmp/display" ]; do
        [ $i -lt 100 ] && kill -0 $xvfb 2>/dev/null || fail "Xvfb $1 did not start"
        sleep 0.1
        i=$((i + 1))
    done
    export DISPLAY=":$(head -n 1 "$tmp/display")"
    "$bin/soak_animator" >"$tmp/animator.out" 2>&1 &
    animator=$!
    waitForLine "$tmp/animator.out" 50 '^soak_animator:' || fail "the animator did not start on $1"
}

# One cast: $1 preset name, $2 output width, $3 screen WxH. Prints the "preset" line.
runPreset() {
    local name=$1 width=$2 screen=$3
    local log=$tmp/receiver-$width-$screen.log out=$tmp/cast-$width-$screen.out
    local tries=0
    # Tests elsewhere may hold the casting ports for a while: retry for up to a minute.
    while :; do
        "$bin/vantor-receiver" --bind 127.0.0.2 --no-announce --answer accept >"$log" 2>&1 &
        receiver=$!
        waitForLine "$log" 100 '^ready ' && break
        stopProcess $receiver
        receiver=
        tries=$((tries + 1))
        [ $tries -lt 30 ] || { cat "$log" >&2; fail "vantor-receiver did not get ready"; }
        sleep 2
    done
    VANTOR_MULTICAST_INTERFACE=lo "$bin/vantor-cast" send --to 127.0.0.2 --seconds "$seconds" \
        --source screen --audio none --fps $fps --bitrate $mbps --resolution "$width" \
        >"$out" 2>"$tmp/cast.err" &
    sender=$!
    sleep $warmup
    kill -0 $sender 2>/dev/null || { cat "$tmp/cast.err" >&2; fail "vantor-cast ended early"; }
    local f0 f1 c0 c1 t0 t1
    f0=$(lastStatusFrames "$log"); c0=$(cpuMs $sender); t0=$(nowMs)
    sleep $window
    f1=$(lastStatusFrames "$log"); c1=$(cpuMs $sender); t1=$(nowMs)
    wait $sender
    local status=$?
    sender=
    waitForLine "$log" 50 '^cast-summary ' || echo "presets: no cast-summary from the receiver" >&2
    stopProcess $receiver
    receiver=
    [ $status -eq 0 ] || { cat "$tmp/cast.err" >&2; fail "$name: vantor-cast exit $status"; }
    local encode conversion x264 wait
    encode=$(grep '^encode ' "$out")
    conversion=$(grep '^stage conversion ' "$out")
    x264=$(grep '^stage encode ' "$out")
    wait=$(grep '^stage capture_wait ' "$out")
    echo "${f0:-0 0} ${f1:-0 0}" | awk -v name="$name" -v width="$width" -v screen="$screen" \
        -v target=$fps -v cpu=$((c1 - c0)) -v t=$((t1 - t0)) \
        -v e50="$(field "$encode" p50_ms)" -v e95="$(field "$encode" p95_ms)" \
        -v c50="$(field "$conversion" p50_ms)" -v x50="$(field "$x264" p50_ms)" \
        -v w50="$(field "$wait" p50_ms)" '{
        f = $3 - $1; s = $4 - $2
        rate = (f > 0 && s > 0) ? f * 1000 / s : 0
        keeps = rate >= 0.98 * target ? "yes" : "no"
        sizes["640"] = "640x480"; sizes["1280"] = "1280x720"; sizes["1920"] = "1920x1080"; sizes["3840"] = "3840x2160"
        printf "preset name=%s size=%s screen=%s fps=%.2f keeps_%d_fps=%s encode_p50_ms=%s encode_p95_ms=%s conversion_p50_ms=%s x264_p50_ms=%s capture_wait_p50_ms=%s cpu_s_per_s=%.3f\n",
            name, sizes[width], screen, rate, target, keeps, e50, e95, c50, x50, w50, cpu / t
    }'
}

echo "== load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "== ${seconds} s per preset at $fps fps and $mbps Mbit/s, figures over the steady ${window} s"
results=$tmp/results
startScreen 1920x1080
for preset in 标清:640 高清:1280 1080P:1920 4K:3840; do
    runPreset "${preset%%:*}" "${preset##*:}" 1920x1080 | tee -a "$results"
done
startScreen 3840x2160
runPreset 4K 3840 3840x2160 | tee -a "$results"
echo "== load average after: $(cut -d' ' -f1-3 /proc/loadavg)"

echo "== What this 2-core machine holds at $fps fps ($(nproc) cores)"
awk '{
    for (i = 2; i <= NF; i++) { split($i, kv, "="); v[kv[1]] = kv[2] }
    printf "%-6s %-10s from %-10s %5.2f fps, keeps %d fps: %-3s | encode per frame p50 %6s ms, p95 %6s ms (conversion %s + x264 %s at p50) | vantor-cast %.2f CPU s/s\n",
        v["name"], v["size"], v["screen"], v["fps"], '"$fps"', v["keeps_'"$fps"'_fps"], v["encode_p50_ms"], v["encode_p95_ms"],
        v["conversion_p50_ms"], v["x264_p50_ms"], v["cpu_s_per_s"]
}' "$results"
cat "$results"
