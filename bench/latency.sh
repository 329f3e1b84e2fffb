#!/usr/bin/env bash
# Glass-to-glass latency of a cast on one host: vantor-cast sends the test picture
# (each frame carries its number) over loopback to vantor-receiver --play, whose
# window is on a private Xvfb. The sender notes when each frame was captured, the
# receiver when it was received, decoded and presented, all on the host's steady
# clock; the two logs are joined by frame number.
#   bench/latency.sh [seconds per run (default 20)] [build dir (default <repo>/build)]
# Runs 1080p30 at 8 Mbit/s and 720p30 at 4 Mbit/s and prints p50/p95/p99 in ms of
# capture->received, received->decoded, decoded->presented and capture->present
# for each. The last line is the 1080p30 run's "capture_to_present_ms p50=... p95=...
# p99=...". Uses the fixed casting ports on 127.0.0.2: run it under
# flock /tmp/vantor-e2e.lock.
set -u
here=$(cd "$(dirname "$0")" && pwd)
seconds=${1:-20}
build=${2:-$here/../build}
bin=$build/bin
for program in vantor-cast vantor-receiver; do
    [ -x "$bin/$program" ] || {
        echo "build $program first (cmake --build $build --target vantor-cast vantor-receiver)" >&2
        exit 1
    }
done
[ "$seconds" -ge 8 ] 2>/dev/null || { echo "seconds must be a number >= 8" >&2; exit 2; }

# The receiver plays the sound as a user hears it: a private PulseAudio, then a
# private Xvfb (1920x1080) for its window.
if [ -z "${VANTOR_PULSE_DIR:-}" ]; then
    exec "$here/../tests/audiodevices/with-pulseaudio.sh" "$0" "$seconds" "$build"
fi
if [ -z "${VANTOR_LATENCY_XVFB:-}" ]; then
    export VANTOR_LATENCY_XVFB=1
    exec "$here/../tests/screencapture/run_with_xvfb.sh" 1 "$0" "$seconds" "$build"
fi

# Frames of the first 2 s (answer, encoder and window start) are left out.
warmupMs=2000

tmp=$(mktemp -d "${TMPDIR:-/tmp}/latency.XXXXXX") || exit 1
receiver= sender=
stopProcess() {
    [ -n "$1" ] || return 0
    kill "$1" 2>/dev/null
    wait "$1" 2>/dev/null
}
cleanup() {
    trap - EXIT INT TERM
    stopProcess "$sender"
    stopProcess "$receiver"
    rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
fail() {
    echo "latency: $*" >&2
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

# Joins sender log $1 (frame=N captured_ns=T) and receiver log $2 by frame number
# and prints one line per stage: "<stage>_ms p50=… p95=… p99=… frames=N".
analyse() {
    awk -v warmup="$warmupMs" '
        function field(name,   i) {
            for (i = 1; i <= NF; i++) if (index($i, name "=") == 1) return substr($i, length(name) + 2)
            return ""
        }
        function sortAndPick(a, n, q,   i, j, t, k) {
            for (i = 2; i <= n; i++) { t = a[i]; for (j = i - 1; j >= 1 && a[j] > t; j--) a[j + 1] = a[j]; a[j + 1] = t }
            k = int(q * (n - 1) + 0.5) + 1
            return a[k]
        }
        function report(name, a, n,   c, i) {
            if (n == 0) { printf "%s_ms p50=- p95=- p99=- frames=0\n", name; return }
            for (i = 1; i <= n; i++) c[i] = a[i]
            p50 = sortAndPick(c, n, 0.50)
            printf "%s_ms p50=%.1f p95=%.1f p99=%.1f frames=%d\n", name, p50, sortAndPick(c, n, 0.95), sortAndPick(c, n, 0.99), n
        }
        FNR == NR { captured[field("frame")] = field("captured_ns"); next }
        {
            frame = field("frame"); presented = field("presented_ns")
            if (frame < 0 || !(frame in captured)) { unknown++; next }
            if (field("ts") + 0 < warmup) next
            if (presented == "dropped") { dropped++; next }
            n++
            c = captured[frame]; r = field("received_ns"); d = field("decoded_ns")
            net[n] = (r - c) / 1e6; dec[n] = (d - r) / 1e6; pres[n] = (presented - d) / 1e6
            whole[n] = (presented - c) / 1e6
        }
        END {
            report("capture_to_received", net, n)
            report("received_to_decoded", dec, n)
            report("decoded_to_presented", pres, n)
            printf "replaced_before_presenting=%d without_legible_number=%d\n", dropped, unknown
            report("capture_to_present", whole, n)
        }' "$1" "$2"
}

# One run: $1 width, $2 Mbit/s, $3 label.
run() {
    local width=$1 mbps=$2 label=$3
    local code=$((300000 + width))
    local rlog=$tmp/receiver-$label.log slog=$tmp/sender-$label.log
    "$bin/vantor-receiver" --bind 127.0.0.2 --announce-to 127.0.0.1:43572 --code "$code" \
        --name latency-bench --answer accept --play --fullscreen --latency-log "$rlog" \
        >"$tmp/receiver-$label.out" 2>"$tmp/receiver-$label.err" &
    receiver=$!
    waitForLine "$tmp/receiver-$label.out" 100 '^ready ' ||
        { cat "$tmp/receiver-$label.err" >&2; fail "vantor-receiver did not get ready"; }
    VANTOR_MULTICAST_INTERFACE=lo "$bin/vantor-cast" send --to "$code" --seconds "$seconds" \
        --source test --resolution "$width" --fps 30 --bitrate "$mbps" --latency-log "$slog" \
        >"$tmp/sender-$label.out" 2>"$tmp/sender-$label.err"
    local sent=$?
    sender=
    waitForLine "$tmp/receiver-$label.out" 100 '^cast-summary' ||
        fail "$label: the receiver did not end the cast"
    stopProcess "$receiver"
    receiver=
    [ $sent -eq 0 ] || { cat "$tmp/sender-$label.err" >&2; fail "$label: vantor-cast failed"; }
    echo "== $label ($width wide, 30 fps, $mbps Mbit/s, $seconds s)"
    grep '^encode ' "$tmp/sender-$label.out"
    grep '^stage ' "$tmp/sender-$label.out"
    grep '^cast-summary' "$tmp/receiver-$label.out" | tr ' ' '\n' | grep -E 'presented_frames|replaced_frames|sound_frames' | tr '\n' ' '
    echo
    analyse "$slog" "$rlog" >"$tmp/result-$label"
    cat "$tmp/result-$label"
}

echo "== load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
run 1280 4 720p30
run 1920 8 1080p30
tail -n 1 "$tmp/result-1080p30" | sed 's/ frames=.*//'
