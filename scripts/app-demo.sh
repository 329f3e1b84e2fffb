#!/usr/bin/env bash
# A cast from the desktop application as a user makes it, on the private X server and
# sound server run-app.sh starts (DISPLAY and PULSE_SERVER set): the companion
# receiver on 127.0.0.2 announces itself, its row is clicked, ten seconds of the
# screen and of a tone playing into the sink are recorded, then 断开 stops it.
#   app-demo.sh BUILD_DIR
set -euo pipefail
build=$1
bin=$build/bin
shots=$build/screenshots
out=$build/demo
mkdir -p "$shots" "$out"
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
export VANTOR_MULTICAST_INTERFACE=lo  # this machine's receivers live on loopback

wait_for() {  # wait_for SECONDS COMMAND...
  local tries=$(($1 * 10)); shift
  for _ in $(seq "$tries"); do "$@" && return 0; sleep 0.1; done
  return 1
}
stream_ms() { grep -o 'last_video_ts=[0-9]*' "$work/receiver.log" | tail -n 1 | cut -d= -f2; }
recorded_enough() { [ "$(stream_ms)" -ge 10000 ] 2>/dev/null; }

# A compositor draws the window's shadow as a desktop would; a tone gives the cast
# something to hear.
xcompmgr >/dev/null 2>&1 &
pids+=($!)
xsetroot -solid '#5B6B80' 2>/dev/null || true
ffmpeg -loglevel error -f lavfi -i "sine=frequency=1000:sample_rate=48000:duration=120" \
  -ac 2 "$work/tone.wav"
paplay "$work/tone.wav" &
pids+=($!)

"$bin/vantor-receiver" --bind 127.0.0.2 --announce-to 127.0.0.1:43572 --code 123456 \
  --name "演示接收端" --answer accept --record "$out/vantor-cast.mkv" \
  >"$work/receiver.log" 2>&1 </dev/null &
receiver=$!
pids+=($receiver)
wait_for 5 grep -q '^ready ' "$work/receiver.log" ||
  { echo "the companion receiver did not start:" >&2; cat "$work/receiver.log" >&2; exit 1; }
(cd "$work" && exec env HOME="$work/home" XDG_CONFIG_HOME="$work/config" "$bin/vantor" \
  >"$work/vantor.log" 2>&1 </dev/null) &
pids+=($!)
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Vantor$' | head -n 1)
[ -n "$window" ] || { echo "Vantor did not show its window:" >&2; cat "$work/vantor.log" >&2; exit 1; }
xdotool windowmove "$window" 460 230

wait_for 10 grep -q 'receiver row added' "$work/vantor.log" &&
  wait_for 10 grep -q 'showing "findDev"' "$work/vantor.log" ||
  { echo "the receiver's row did not appear:" >&2; tail -n 20 "$work/vantor.log" "$work/receiver.log" >&2; exit 1; }
sleep 0.5  # let the row be drawn before the picture is taken
import -window root "$shots/vantor-main.png"
# The first row's 投屏 button, in window coordinates.
xdotool mousemove --window "$window" 464 193 click 1
wait_for 20 recorded_enough || { echo "the receiver recorded too little:" >&2; tail -n 20 "$work/vantor.log" "$work/receiver.log" >&2; exit 1; }
import -window root "$shots/vantor-casting.png"
xdotool mousemove --window "$window" 464 193 click 1  # 断开
wait_for 10 grep -q '^cast-summary' "$work/receiver.log" || true
kill -TERM "$receiver" 2>/dev/null && wait "$receiver" 2>/dev/null || true
grep '^cast-summary' "$work/receiver.log" || true

# The settings view, for the record.
xdotool mousemove --window "$window" 884 30 click 1
sleep 0.5
import -window root "$shots/vantor-settings.png"

echo "Screenshots: $shots/vantor-main.png, $shots/vantor-casting.png, $shots/vantor-settings.png"
echo "Recording:   $out/vantor-cast.mkv"
echo "To use Vantor for real, run bash scripts/run-app.sh on a Linux desktop (or start $bin/vantor there)."
