#!/usr/bin/env bash
# Casts what a user sees and hears to the companion receiver on loopback and checks
# the recording. Runs inside run_with_xvfb.sh and with-pulseaudio.sh (DISPLAY and
# PULSE_SERVER set):  screencast.sh BIN_DIR SOURCE
#   SOURCE: screen (the reference picture covers the screen) or window (the picture
#   is cast through its window).
set -euo pipefail
bin=$1
source_kind=${2:-screen}
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

picture_args=()
[ "$source_kind" = window ] && picture_args=(--window)
"$bin/drawtestpicture" "${picture_args[@]}" >"$work/picture.log" 2>&1 &
pids+=($!)

# The tone plays on the default sink for longer than the cast lasts.
ffmpeg -loglevel error -f lavfi -i "sine=frequency=1000:sample_rate=48000:duration=60" \
  -ac 2 "$work/tone.wav"
paplay "$work/tone.wav" &
pids+=($!)

"$bin/vantor-receiver" --bind 127.0.0.2 --no-announce --answer accept \
  --record "$work/cast.mkv" --seconds 40 >"$work/receiver.log" 2>&1 &
receiver=$!
pids+=($receiver)
for _ in $(seq 100); do grep -q '^ready ' "$work/receiver.log" && break; sleep 0.1; done

source_arg=screen
if [ "$source_kind" = window ]; then
  # The picture's window as the window list shows it to a user.
  for _ in $(seq 50); do
    window=$("$bin/vantor-cast" windows | awk -F'\t' '$3 == "drawtestpicture" {print $1; exit}')
    [ -n "$window" ] && break
    sleep 0.1
  done
  [ -n "$window" ] || { echo "FAIL: the picture's window is not there"; exit 1; }
  source_arg="window:$window"
fi

export VANTOR_MULTICAST_INTERFACE=lo
"$bin/vantor-cast" send --to 127.0.0.2 --seconds 6 --source "$source_arg" --audio system \
  --fps 25 --bitrate 8 --resolution 1920 | tee "$work/send.log"

for _ in $(seq 100); do grep -q '^cast-summary' "$work/receiver.log" && break; sleep 0.1; done
grep '^cast-summary' "$work/receiver.log" || { cat "$work/receiver.log"; exit 1; }
kill -TERM "$receiver"
wait "$receiver" || true

"$bin/checkrecording" "$work/cast.mkv" 1920 1080 30 1000
