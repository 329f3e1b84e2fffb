#!/usr/bin/env bash
# The X server goes away in the middle of a screen cast: vantor-cast must carry
# on without the picture, say why and end on its own; the receiver's recording
# of what came before stays valid.   xserverloss.sh BIN_DIR
set -uo pipefail
bin=$1
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
  for log in send.out send.err receiver.log; do
    echo "--- $log"
    cat "$work/$log" 2>/dev/null
  done
  exit 1
}
# Waits up to $1 tenths of a second for the command after it to succeed.
waitUntil() {
  local tries=$1
  shift
  for _ in $(seq "$tries"); do "$@" && return 0; sleep 0.1; done
  return 1
}

# Our own server, so that we can take it away.
Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 1280x720x24 3>"$work/display" \
  >/dev/null 2>&1 &
xvfb=$!
pids+=($xvfb)
waitUntil 100 test -s "$work/display" || fail "Xvfb did not start"
export DISPLAY=":$(head -n 1 "$work/display")"

"$bin/drawtestpicture" >"$work/picture.log" 2>&1 &
pids+=($!)

"$bin/vantor-receiver" --bind 127.0.0.2 --no-announce --answer accept \
  --record "$work/cast.mkv" --seconds 60 >"$work/receiver.log" 2>&1 &
receiver=$!
pids+=($receiver)
waitUntil 100 grep -q '^ready ' "$work/receiver.log" || fail "the receiver did not start"

export VANTOR_MULTICAST_INTERFACE=lo
seconds=12
"$bin/vantor-cast" send --to 127.0.0.2 --seconds $seconds --source screen --audio none \
  --fps 25 >"$work/send.out" 2>"$work/send.err" &
sender=$!
pids+=($sender)

# Pictures are arriving and being recorded when the server goes.
waitUntil 150 grep -q '^video connection from' "$work/receiver.log" ||
  fail "no video connection"
framesArrived() {
  grep -q '^status peer=.* video_frames=[1-9][0-9]' "$work/receiver.log"
}
waitUntil 150 framesArrived || fail "no pictures arrived before the loss"
kill -KILL $xvfb
wait $xvfb 2>/dev/null

# vantor-cast ends by itself: at the end of its cast time, not by a signal.
for _ in $(seq $(((seconds + 30) * 10))); do kill -0 $sender 2>/dev/null || break; sleep 0.1; done
kill -0 $sender 2>/dev/null && fail "vantor-cast did not end"
wait $sender
status=$?
[ $status -lt 128 ] || fail "vantor-cast ended by signal $((status - 128))"
# Xlib's own last words before it ends the process.
grep -q 'X connection to .* broken' "$work/send.err" &&
  fail "Xlib took the process down (exit status $status)"
grep -q 'display lost: the X server went away' "$work/send.err" ||
  fail "vantor-cast did not say that the display was lost (exit status $status)"
grep -q 'streamed=1' "$work/send.out" || fail "vantor-cast did not finish its cast (status $status)"
[ $status -eq 1 ] && grep -q '^cast failed: display lost' "$work/send.out" ||
  fail "vantor-cast did not report the lost display as a failed cast (status $status)"

waitUntil 150 grep -q '^recorded ' "$work/receiver.log" || fail "the receiver did not finish"
frames=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames \
  -of csv=p=0 "$work/cast.mkv")
[ "${frames:-0}" -ge 1 ] 2>/dev/null || fail "the recording holds no decodable video ($frames)"
echo "PASS: vantor-cast exit status $status, $frames video frames recorded"
