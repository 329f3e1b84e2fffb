#!/usr/bin/env bash
# vantor-receiver --play as a person uses it: a real cast from vantor-cast (test
# picture and test tone) over loopback, shown in the receiver's window on a private
# Xvfb and played on a private PulseAudio (run inside run_with_xvfb.sh and
# with-pulseaudio.sh; the no-display case needs neither).
#   play_e2e.sh BIN_DIR SCREENSHOT_DIR cast|corrupt-then-next|no-display
set -euo pipefail
bin=$1
shots=$2
scenario=$3
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*"
    for f in "$work"/*.out "$work"/*.err; do
        [ -s "$f" ] && { echo "--- $f"; tail -n 30 "$f"; }
    done
    exit 1
}
# Waits (up to $1 tenths of a second) until the command after it succeeds.
waitUntil() {
    local tenths=$1
    shift
    for _ in $(seq "$tenths"); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    return 1
}
code=424242
title() {  # the receiver window's title, as the X server has it
    xwininfo -root -tree |
        sed -n "/cast code $code/{s/^ *0x[0-9a-f]* \"\([^\"]*\)\".*/\1/p;q}"
}
titleHas() {
    local now
    now=$(title)
    grep -q -- "$1" <<<"$now"
}
presentedLines() {  # presented frames of cast $1 in the latency log
    grep -c "^cast=$1 .*presented_ns=[0-9]" "$work/latency.log" 2>/dev/null || true
}
atLeastPresented() { [ "$(presentedLines "$1")" -ge "$2" ]; }
startReceiver() {
    "$bin/vantor-receiver" --bind 127.0.0.2 --no-announce --answer accept --code "$code" \
        --name play-test --play --fullscreen --latency-log "$work/latency.log" "$@" \
        >"$work/receiver.out" 2>"$work/receiver.err" &
    receiver=$!
    pids+=("$receiver")
    waitUntil 200 grep -q '^ready ' "$work/receiver.out" || fail "the receiver did not start"
}
startCast() {  # $1 width, $2 seconds, $3 log name
    VANTOR_MULTICAST_INTERFACE=lo "$bin/vantor-cast" send --to 127.0.0.2 --seconds "$2" \
        --source test --resolution "$1" --fps 30 --bitrate 8 --latency-log "$work/$3.log" \
        >"$work/$3.out" 2>"$work/$3.err" &
    sender=$!
    pids+=("$sender")
}
# Screenshot of the whole screen as 8-bit grey, optionally cropped and scaled back.
greyShot() {  # $1 png, $2 grey output, [$3 ffmpeg filter]
    ffmpeg -loglevel error -y -i "$1" ${3:+-vf "$3"} -f rawvideo -pix_fmt gray "$2"
}
# The picture on the screen is one the sender captured: its frame number decodes
# and is in the sender's log.
checkFrameNumber() {  # $1 grey file, $2 width, $3 height, $4 sender log
    local number
    number=$("$bin/receiver_playcheck" framenumber "$1" "$2" "$3") ||
        fail "the screenshot shows no legible frame number"
    grep -q "^frame=$number " "$4" || fail "frame $number on the screen was never captured"
    echo "screen shows frame $number"
}
# Every presented line: received <= decoded <= presented; prints the count.
checkLatencyLog() {  # $1 cast number
    awk -v cast="cast=$1" '
        function value(name,   i) {
            for (i = 1; i <= NF; i++) if (index($i, name "=") == 1) return substr($i, length(name) + 2)
        }
        $1 != cast { next }
        value("presented_ns") == "dropped" { next }
        {
            n++
            r = value("received_ns") + 0; d = value("decoded_ns") + 0; p = value("presented_ns") + 0
            if (!(r > 0 && r <= d && d <= p)) { print "out of order: " $0; bad++ }
            if (value("frame") + 0 < 0) illegible++
        }
        END {
            if (bad || n == 0 || illegible > n / 10) { print "bad=" bad " n=" n " illegible=" illegible; exit 1 }
            print n
        }' "$work/latency.log"
}
summaryField() {  # $1 cast index (1-based), $2 field
    grep '^cast-summary' "$work/receiver.out" | sed -n "$1p" | tr ' ' '\n' | sed -n "s/^$2=//p"
}

case "$scenario" in
no-display)
    set +e
    env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER "$bin/vantor-receiver" --bind 127.0.0.2 \
        --no-announce --play >"$work/a.out" 2>"$work/a.err"
    rc=$?
    [ $rc -eq 2 ] || fail "--play without DISPLAY exited with $rc, not 2"
    grep -q -- '--play needs a display' "$work/a.err" || fail "no clear message: $(cat "$work/a.err")"
    grep -q '^ready' "$work/a.out" && fail "it got ready without a window"
    # A display that is not there is as clear.
    DISPLAY=:4321 "$bin/vantor-receiver" --bind 127.0.0.2 --no-announce --play \
        >"$work/b.out" 2>"$work/b.err"
    rc=$?
    [ $rc -eq 2 ] || fail "--play with a dead DISPLAY exited with $rc, not 2"
    grep -q 'cannot open a window' "$work/b.err" || fail "no clear message: $(cat "$work/b.err")"
    # Without --play no window is touched at all.
    env -u DISPLAY "$bin/vantor-receiver" --bind 127.0.0.2 --no-announce --seconds 1 \
        >"$work/c.out" 2>"$work/c.err"
    rc=$?
    set -e
    [ $rc -eq 0 ] || fail "the receiver without --play exited with $rc"
    grep -q '^ready' "$work/c.out" || fail "the receiver without --play did not start"
    grep -q '^window:' "$work/c.err" && fail "a window was opened without --play"
    echo "PASS"
    ;;

cast)
    startReceiver --record "$work/cast.mkv"
    waitUntil 100 titleHas "waiting for a cast" || fail "title before the cast: '$(title)'"
    parec -d vantor_test.monitor --format=s16le --rate=48000 --channels=1 --raw \
        >"$work/sound.s16" 2>"$work/parec.err" &
    parec=$!
    pids+=("$parec")

    startCast 1920 8 sent
    waitUntil 200 titleHas "casting from .*(127.0.0.1)" || fail "title during the cast: '$(title)'"
    waitUntil 300 atLeastPresented 1 60 || fail "fewer than 60 pictures shown"
    mkdir -p "$shots"
    import -window root "$shots/receiver-play.png"
    greyShot "$shots/receiver-play.png" "$work/shot.grey"
    checkFrameNumber "$work/shot.grey" 1920 1080 "$work/sent.log"
    waitUntil 100 grep -Eq 'receive_to_present_ms_p50=[0-9]' "$work/receiver.out" ||
        fail "the status line shows no receive-to-present latency"

    wait "$sender" || fail "vantor-cast send failed"
    waitUntil 100 grep -q '^cast-summary' "$work/receiver.out" || fail "no cast summary"
    waitUntil 50 titleHas "ended" || fail "title after the cast: '$(title)'"
    waitUntil 100 titleHas "waiting for a cast" || fail "title does not go back to waiting"
    kill "$parec"
    wait "$parec" 2>/dev/null || true

    presented=$(checkLatencyLog 1) || fail "latency log: $presented"
    [ "$presented" = "$(summaryField 1 presented_frames)" ] ||
        fail "$presented presented lines, summary says $(summaryField 1 presented_frames)"
    [ "$(summaryField 1 recording)" = ok ] || fail "the recording beside --play failed"
    [ -s "$work/cast.mkv" ] || fail "no recording"
    read -r frequency rms < <("$bin/receiver_playcheck" tone "$work/sound.s16" 48000 |
        sed 's/frequency=\([0-9]*\) rms=\([0-9]*\)/\1 \2/')
    echo "sink heard ${frequency} Hz at rms ${rms}"
    [ "$rms" -gt 300 ] || fail "the sink heard nothing (rms $rms)"
    [ "$frequency" -ge 985 ] && [ "$frequency" -le 1015 ] || fail "the sink heard $frequency Hz"

    kill -TERM "$receiver"
    wait "$receiver" || fail "the receiver did not exit cleanly"
    echo "PASS ($presented pictures shown)"
    ;;

corrupt-then-next)
    startReceiver
    # A sender whose video is no H.264: the cast ends with the framing error.
    exec 3<>/dev/tcp/127.0.0.2/43572
    printf '\0\0\0\5\0\0\0\0hello' >&3
    waitUntil 100 grep -q 'error from 127.0.0.1: video channel' "$work/receiver.err" ||
        fail "the corrupt stream was not reported"
    exec 3>&-
    waitUntil 100 titleHas "ended with an error" || fail "title after the error: '$(title)'"
    kill -0 "$receiver" || fail "the receiver died"

    # The window survives and shows the next cast, a 4:3 picture with bars at the sides.
    startCast 640 6 next
    waitUntil 200 titleHas "casting from" || fail "title during the next cast: '$(title)'"
    waitUntil 300 atLeastPresented 2 30 || fail "fewer than 30 pictures of the next cast shown"
    mkdir -p "$shots"
    import -window root "$shots/receiver-play-letterbox.png"
    greyShot "$shots/receiver-play-letterbox.png" "$work/full.grey"
    for bar in "0 0 232 1080" "1688 0 232 1080"; do
        level=$("$bin/receiver_playcheck" mean "$work/full.grey" 1920 1080 $bar)
        awk -v l="$level" 'BEGIN { exit !(l < 8) }' || fail "bar at $bar is not black ($level)"
    done
    greyShot "$shots/receiver-play-letterbox.png" "$work/picture.grey" \
        "crop=1440:1080:240:0,scale=640:480:flags=area"
    checkFrameNumber "$work/picture.grey" 640 480 "$work/next.log"

    wait "$sender" || fail "vantor-cast send failed"
    waitUntil 100 sh -c "[ \$(grep -c '^cast-summary' '$work/receiver.out') -ge 2 ]" ||
        fail "the next cast has no summary"
    [ "$(summaryField 1 errors)" = 1 ] || fail "the corrupt cast reported no error"
    [ "$(summaryField 2 errors)" = 0 ] || fail "the next cast had errors"
    checkLatencyLog 2 >/dev/null || fail "latency log of the next cast"
    kill -TERM "$receiver"
    wait "$receiver" || fail "the receiver did not exit cleanly"
    echo "PASS"
    ;;

*)
    echo "unknown scenario $scenario" >&2
    exit 2
    ;;
esac
