#!/bin/sh
# Soak of the whole cast: the real screen of a private Xvfb (kept moving) and the
# system audio of a private PulseAudio (a 1 kHz tone) are cast for MINUTES minutes
# by the casting session (bench/soak/soak_driver) to vantor-receiver peers on
# loopback. Every 10 s one receiver joins and the one that joined 30 s earlier
# leaves; the roles repeat every 40 s: healthy (records), stalled (stops reading its
# video), healthy, resetting (killed with SIGKILL 15 s in). Just before each 10 s
# tick the sender's RSS, threads and open descriptors are sampled into
# BUILD/soak/samples.csv; receivers.csv has one row per receiver.
#
# Passes (exit 0) when:
#   - RSS after the first minute stays within +-5 MB of its level at 60 s;
#   - threads and descriptors at every tick equal those of the first tick of the same
#     phase (tick % 4) from tick 4 on: the same roles are attached then, and the
#     previous changes have had a whole tick to settle;
#   - every healthy receiver's recording decodes and has no step above 200 ms
#     between consecutive video frame timestamps;
#   - neither the sender nor any healthy (or stalled) receiver crashed, and every
#     healthy receiver was served.
# Prints one summary line: soak minutes=... result=PASS|FAIL
#
# Usage: bench/soak.sh MINUTES [build dir (default <repo>/build)]
# Needs soak_driver, soak_animator and vantor-receiver built in the build dir, and
# uses the fixed casting ports on 127.0.x.y: on a shared machine run it under
# flock /tmp/vantor-e2e.lock.
set -u
here=$(cd "$(dirname "$0")" && pwd)
minutes=${1:-}
build=${2:-$here/../build}
case $minutes in
    '' | *[!0-9]*) echo "usage: $0 MINUTES [build dir]" >&2; exit 2 ;;
esac
[ "$minutes" -ge 2 ] || { echo "soak: MINUTES must be 2 or more (the first minute is the reference)" >&2; exit 2; }
build=$(cd "$build" && pwd) || exit 2
bin=$build/bin
for program in soak_driver soak_animator vantor-receiver; do
    [ -x "$bin/$program" ] || {
        echo "soak: build $program first (cmake --build $build --target soak_driver soak_animator vantor-receiver)" >&2
        exit 2
    }
done
for tool in ffmpeg ffprobe Xvfb pulseaudio; do
    command -v $tool >/dev/null || { echo "soak: $tool is not installed" >&2; exit 2; }
done

# A private X server and sound server around the whole run.
if [ -z "${SOAK_ENVIRONMENT:-}" ]; then
    SOAK_ENVIRONMENT=1
    export SOAK_ENVIRONMENT
    exec "$here/../tests/screencapture/run_with_xvfb.sh" 1 \
        "$here/../tests/audiodevices/with-pulseaudio.sh" "$0" "$minutes" "$build"
fi

out=$build/soak
rm -rf "$out"
mkdir -p "$out" || exit 1
animator= tone= driver=
stopProcess() {
    [ -n "$1" ] || return 0
    kill "$1" 2>/dev/null
    wait "$1" 2>/dev/null
}
cleanup() {
    trap - EXIT INT TERM
    stopProcess "$driver"
    stopProcess "$tone"
    stopProcess "$animator"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
fail() {
    echo "soak: $*" >&2
    exit 1
}

"$bin/soak_animator" >"$out/animator.log" 2>&1 &
animator=$!
ffmpeg -hide_banner -nostdin -loglevel error -re \
    -f lavfi -i "sine=frequency=1000:sample_rate=48000" -ac 2 -f pulse default \
    >"$out/tone.log" 2>&1 &
tone=$!
sleep 1
kill -0 "$animator" 2>/dev/null || { cat "$out/animator.log" >&2; fail "the animator did not start"; }
kill -0 "$tone" 2>/dev/null || { cat "$out/tone.log" >&2; fail "the tone did not start"; }

ticks=$((minutes * 6))
echo "== soak: $minutes min ($ticks ticks of 10 s), output in $out"
SOAK_MAX_GAP_MS=200
export SOAK_MAX_GAP_MS
# From the output directory, so that the process log (app.log) lands there.
(cd "$out" && exec "$bin/soak_driver" --ticks "$ticks" --tick-ms 10000 --out "$out" \
    --receiver "$bin/vantor-receiver" --check "$here/soak/check-recording.sh" \
    --fps 25 --bitrate 4 --width 1280) >"$out/driver.out" 2>"$out/driver.log" &
driver=$!
wait "$driver"
driverStatus=$?
driver=
stopProcess "$tone"
tone=
kill -0 "$animator" 2>/dev/null || echo "soak: the animator died during the run" >&2
stopProcess "$animator"
animator=

driverLine=$(grep '^soak-driver ' "$out/driver.out" | tail -n 1)
echo "${driverLine:-soak: no soak-driver line (status $driverStatus)}"

# Memory: the level at 60 s, then every later sample within 5 MB of it.
memory=$(awk -F, 'NR > 1 {
        if ($2 == 6) first = $4
        if ($2 > 6 && first != "") {
            d = $4 - first; if (d < 0) d = -d
            if (d > worst) worst = d
            n++
        }
        last = $4
    }
    END {
        if (first == "" || n == 0) { print "- - - - 0"; exit }
        printf "%.1f %.1f %.1f %.1f %d\n", first / 1024, last / 1024, (last - first) / 1024, worst / 1024, worst <= 5 * 1024
    }' "$out/samples.csv")
set -- $memory
rssFirst=$1 rssLast=$2 rssDrift=$3 rssWorst=$4 rssOk=$5

# Threads and descriptors: per phase, the first sample from tick 4 on is the baseline.
handles=$(awk -F, 'NR > 1 && $2 >= 4 {
        if (!($3 in threads)) { threads[$3] = $5; fds[$3] = $6 }
        else {
            compared++
            if ($5 != threads[$3]) { threadMiss++; printf "tick %d: %d threads, baseline %d\n", $2, $5, threads[$3] > "/dev/stderr" }
            if ($6 != fds[$3]) { fdMiss++; printf "tick %d: %d fds, baseline %d\n", $2, $6, fds[$3] > "/dev/stderr" }
        }
        lastThreads = $5; lastFds = $6; lastPhase = $3
    }
    END {
        printf "%s/%s %s/%s %d %d %d\n", threads[lastPhase], lastThreads, fds[lastPhase], lastFds,
            compared, threadMiss + 0, fdMiss + 0
    }' "$out/samples.csv")
set -- $handles
threads=$1 fds=$2 compared=$3 threadMisses=$4 fdMisses=$5

# Receivers: failures the driver saw, and the largest step in any healthy recording.
receivers=$(awk -F, 'NR > 1 {
        if ($2 == "healthy") {
            healthy++
            if (match($13, /max_gap_ms=[0-9]+/)) {
                g = substr($13, RSTART + 11, RLENGTH - 11) + 0
                if (g > gap) gap = g
                checked++
            }
        }
        if ($14 != "-") { failed++; printf "receiver %s (%s) on %s: %s\n", $1, $2, $3, $14 > "/dev/stderr" }
    }
    END { printf "%d %d %d %d\n", healthy, checked, gap, failed }' "$out/receivers.csv")
set -- $receivers
healthy=$1 checked=$2 maxGap=$3 receiverFailures=$4
served=$(echo "$driverLine" | sed -n 's/.*served=\([0-9]*\).*/\1/p')

result=PASS
why=
check() {  # $1 condition holds (1/0), $2 what failed
    [ "$1" = 1 ] && return
    result=FAIL
    why="$why; $2"
}
check "$([ "$driverStatus" -lt 128 ] && [ -n "$driverLine" ] && echo 1)" "the sender crashed or did not finish (status $driverStatus)"
check "$rssOk" "RSS moved $rssWorst MB from its level at 60 s"
check "$([ "$compared" -gt 0 ] && echo 1)" "no tick to compare threads and descriptors with"
check "$([ "$threadMisses" = 0 ] && echo 1)" "threads differed from the baseline at $threadMisses ticks"
check "$([ "$fdMisses" = 0 ] && echo 1)" "descriptors differed from the baseline at $fdMisses ticks"
check "$([ "$checked" -gt 0 ] && [ "$checked" = "$healthy" ] && echo 1)" "$checked of $healthy healthy recordings checked"
check "$([ "$maxGap" -le "$SOAK_MAX_GAP_MS" ] && echo 1)" "a recording has a $maxGap ms gap"
check "$([ "$receiverFailures" = 0 ] && echo 1)" "$receiverFailures receivers failed"
[ -n "$why" ] && echo "soak failed: ${why#; }" >&2

echo "soak minutes=$minutes rss_mb_first=$rssFirst rss_mb_last=$rssLast rss_drift_mb=$rssDrift" \
    "rss_worst_mb=$rssWorst threads=$threads fds=$fds receivers_served=${served:-0}" \
    "healthy_recordings=$checked max_gap_ms=$maxGap result=$result"
[ "$result" = PASS ]
