#!/usr/bin/env bash
# A user's casts with the real vantor under a private Xvfb and PulseAudio: the
# companion receiver's row appears, a click on its 投屏 casts the screen and the tone
# playing into the sink, 断开 stops it, the typed cast code does the same, two rows
# cast at once, and the close button ends vantor with 0 while a cast runs.
#   app_cast.sh BIN_DIR SCREENSHOT_DIR     (inside run_with_xvfb.sh and with-pulseaudio.sh)
set -uo pipefail
bin=$1
shots=$2
export VANTOR_MULTICAST_INTERFACE=lo  # discovery joins its group on loopback only
work=$(mktemp -d)
pids=()
app=
failures=0
passes=0
cleanup() {
  [ -n "$app" ] && kill "$app" 2>/dev/null
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
ok() { echo "ok: $*"; passes=$((passes + 1)); }
mkdir -p "$shots"

# Window coordinates of what the test clicks: a 10 px shadow margin, the 40 px title
# bar, then the page: receiver rows 47 px high from y = 170, their buttons at the
# right end; the cast-code field and 开始投屏 on the right half.
row_button_x=464
row_button_y() { echo $((193 + 47 * ($1 - 1))); }
code_field=(700 196)
cast_button=(700 378)
close_button=(964 30)

wait_for() {  # wait_for SECONDS COMMAND...: polls until COMMAND succeeds
  local tries=$(($1 * 10)); shift
  for _ in $(seq "$tries"); do "$@" && return 0; sleep 0.1; done
  return 1
}
count_lines() { grep -c -F -- "$2" "$1" 2>/dev/null || true; }
has_more() { [ "$(count_lines "$1" "$2")" -gt "$3" ]; }

start_receiver() {  # start_receiver NAME ADDRESS CODE: records into $work/NAME.mkv
  "$bin/vantor-receiver" --bind "$2" --announce-to 127.0.0.1:43572 --code "$3" \
    --name "$1 的电视" --answer accept --record "$work/$1.mkv" \
    >"$work/$1.log" 2>&1 </dev/null &
  eval "receiver_$1=$!"
  pids+=($!)
}
stop_receiver() {  # stop_receiver NAME: ends its recording, withdraws its announcement
  local pid; eval "pid=\$receiver_$1"
  kill -TERM "$pid" 2>/dev/null; wait "$pid" 2>/dev/null
}
video_frames() { grep -o 'video_frames=[0-9]*' "$1" | tail -n 1 | cut -d= -f2; }
frames_beyond() { [ "$(video_frames "$1")" -gt "$2" ] 2>/dev/null; }
click() { xdotool mousemove --window "$window" "$1" "$2" click 1; }

# The picture a screen cast must deliver, as an ordinary window under vantor's, and a
# tone in the default sink for longer than the test lasts.
"$bin/drawtestpicture" --window >"$work/picture.log" 2>&1 &
pids+=($!)
timeout 10 xdotool search --sync --name '^drawtestpicture$' >/dev/null ||
  { fail "the picture's window did not appear"; exit 1; }
ffmpeg -loglevel error -f lavfi -i "sine=frequency=1000:sample_rate=48000:duration=300" \
  -ac 2 "$work/tone.wav"
paplay "$work/tone.wav" &
pids+=($!)

# 1080P at 8 Mbit/s, as the settings page's 画质优先 stores it.
mkdir -p "$work/config/vantor"
printf '[castCfg]\ncastMode=1\nbitRate=2\nframeRate=1\nresolution=2\n' >"$work/config/vantor/cfg.ini"

start_receiver a 127.0.0.2 111111
(cd "$work" && exec env HOME="$work/home" XDG_CONFIG_HOME="$work/config" "$bin/vantor" \
  >"$work/app.out" 2>&1 </dev/null) &
app=$!
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Vantor$' | head -n 1)
[ -n "$window" ] || { fail "no window named Vantor"; cat "$work/app.out"; exit 1; }
xdotool windowraise "$window"  # above the picture: there is no window manager to do it
log=$work/app.out

# 1. The row appears; its 投屏 casts the screen with the system sound.
wait_for 5 has_more "$log" "receiver row added \"127.0.0.2\"" 0 &&
  wait_for 5 has_more "$log" 'showing "findDev"' 0 &&
  ok "the receiver's row appeared" || fail "no row for 127.0.0.2"
import -window root "$shots/app-cast-row.png" 2>/dev/null
click "$row_button_x" "$(row_button_y 1)"
wait_for 10 has_more "$log" 'receiver row "127.0.0.2" reads "断开"' 0 &&
  ok "the row reads 断开 while casting" || fail "the row never read 断开"
wait_for 5 has_more "$log" 'toast "开始投屏, 请在大屏幕确认."' 0 &&
  ok "toast 开始投屏, 请在大屏幕确认." || fail "no 开始投屏 toast"
# With vantor's window out of the way the screen is the picture alone.
xdotool windowmove "$window" 1920 0
seen=$(video_frames "$work/a.log"); seen=${seen:-0}
wait_for 15 frames_beyond "$work/a.log" $((seen + 40)) || fail "the receiver got no new frames"
stop_receiver a
wait_for 5 has_more "$log" 'receiver row removed "127.0.0.2"' 0 || fail "a's row stayed"
if "$bin/checkrecording" "$work/a.mkv" 1920 1080 30 1000 >"$work/check.log"; then
  ok "recording: $(grep -E 'PSNR|dominant' "$work/check.log" | tr '\n' ' ')"
else
  fail "recording check"; cat "$work/check.log"
fi
xdotool windowmove "$window" 0 0
wait_for 5 has_more "$log" 'toast "已停止投屏."' 0 &&
  ok "a receiver that ends the cast shows 已停止投屏." || fail "no 已停止投屏 toast"

# 2. 断开 on the row stops the cast.
stops=$(count_lines "$log" 'toast "已停止投屏."')
added=$(count_lines "$log" "receiver row added \"127.0.0.2\"")
start_receiver b 127.0.0.2 222222
wait_for 5 has_more "$log" "receiver row added \"127.0.0.2\"" "$added" || fail "no new row"
# Receiver a's withdrawal may have emptied the list: the page with rows must be back.
wait_for 5 bash -c "[ \"\$(grep -F 'showing' '$log' | tail -n 1 | grep -c findDev)\" = 1 ]" ||
  fail "the page with rows is not shown"
casting=$(count_lines "$log" 'receiver row "127.0.0.2" reads "断开"')
idle=$(count_lines "$log" 'receiver row "127.0.0.2" reads "投屏"')
click "$row_button_x" "$(row_button_y 1)"
wait_for 10 has_more "$log" 'receiver row "127.0.0.2" reads "断开"' "$casting" || fail "not casting"
wait_for 10 frames_beyond "$work/b.log" 0 || fail "receiver b got nothing"
click "$row_button_x" "$(row_button_y 1)"
wait_for 5 has_more "$log" 'toast "已停止投屏."' "$stops" &&
  ok "断开 shows 已停止投屏." || fail "no 已停止投屏 after 断开"
wait_for 10 grep -q '^cast-summary' "$work/b.log" &&
  ok "断开 ended the receiver's cast" || fail "receiver b's cast did not end"
wait_for 5 has_more "$log" 'receiver row "127.0.0.2" reads "投屏"' "$idle" &&
  ok "the row reads 投屏 again" || fail "the row still reads 断开"

# 3. The same by the typed cast code: 开始投屏, then 退出投屏.
summaries=$(count_lines "$work/b.log" 'cast-summary')
casting=$(count_lines "$log" 'receiver row "127.0.0.2" reads "断开"')
click "${code_field[@]}"
xdotool type --delay 50 222222
click "${cast_button[@]}"
wait_for 10 has_more "$log" 'receiver row "127.0.0.2" reads "断开"' "$casting" &&
  ok "the typed code casts" || fail "the typed code did not cast"
import -window root "$shots/app-cast-code.png" 2>/dev/null
click "${cast_button[@]}"  # now 退出投屏
wait_for 10 has_more "$work/b.log" 'cast-summary' "$summaries" &&
  ok "退出投屏 stops the cast" || fail "退出投屏 did not stop it"

# 4. Two rows at once: both receivers record.
start_receiver c 127.0.0.3 333333
wait_for 5 has_more "$log" "receiver row added \"127.0.0.3\"" 0 || fail "no row for 127.0.0.3"
click "$row_button_x" "$(row_button_y 1)"
click "$row_button_x" "$(row_button_y 2)"
wait_for 10 has_more "$log" 'receiver row "127.0.0.3" reads "断开"' 0 || fail "127.0.0.3 not cast to"
frames_b=$(video_frames "$work/b.log"); frames_c=$(video_frames "$work/c.log")
wait_for 10 frames_beyond "$work/b.log" "${frames_b:-0}" && wait_for 10 frames_beyond "$work/c.log" "${frames_c:-0}" &&
  ok "two receivers record at once" || fail "not both receivers record"
import -window root "$shots/app-cast-two.png" 2>/dev/null

# 5. The close button ends vantor with 0 while both casts run.
click "${close_button[@]}"
wait_for 15 bash -c "! kill -0 $app 2>/dev/null" || fail "vantor still running after close"
wait "$app"; rc=$?
app=
[ $rc -eq 0 ] && ok "close during a cast ends vantor with 0" || fail "exit code $rc"

echo "$passes passed, $failures failed"
if [ $failures -gt 0 ]; then
  for f in "$work"/*.log; do echo "--- $f"; tail -n 15 "$f"; done
  echo "--- vantor"; grep -v -E 'libx264|aac @' "$log" | tail -n 60
fi
[ $failures -eq 0 ]
