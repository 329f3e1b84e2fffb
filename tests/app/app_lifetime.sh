#!/usr/bin/env bash
# The real vantor under a private Xvfb: its window appears, either close button ends
# the process with exit code 0, and with proxies set in the environment the
# discovery listener and the echo service still work straight on loopback.
#   app_lifetime.sh BIN_DIR SCREENSHOT_DIR     (run inside run_with_xvfb.sh)
set -uo pipefail
bin=$1
shots=$2
export VANTOR_MULTICAST_INTERFACE=lo  # discovery joins its group on loopback only
work=$(mktemp -d)
receiver=
app=
failures=0
passes=0
cleanup() {
  [ -n "$app" ] && kill "$app" 2>/dev/null && wait "$app" 2>/dev/null
  [ -n "$receiver" ] && kill "$receiver" 2>/dev/null && wait "$receiver" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
ok() { echo "ok: $*"; passes=$((passes + 1)); }
mkdir -p "$shots"

# The title-bar buttons, in window coordinates: a 10 px shadow margin, then the
# 980 px body whose 40 px title bar holds them at x = 864, 904, 944 (20 px each).
settings_button=(884 30)
close_button=(964 30)

start_app() {  # start_app [ENV=VALUE...]: starts vantor, waits for its window
  (cd "$work" && exec env HOME="$work/home" XDG_CONFIG_HOME="$work/config" "$@" \
    "$bin/vantor" >"$work/app.out" 2>&1 </dev/null) &
  app=$!
  window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Vantor$' | head -n 1)
  [ -n "$window" ] || { fail "no window named Vantor"; cat "$work/app.out"; exit 1; }
}

click() {  # click X Y: a real pointer click inside the window
  xdotool mousemove --window "$window" "$1" "$2" click 1
}

expect_exit_zero() {  # expect_exit_zero WHAT
  for _ in $(seq 100); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$app" 2>/dev/null; then
    fail "$1: vantor still running"
    return
  fi
  wait "$app"; local rc=$?
  app=
  [ $rc -eq 0 ] && ok "$1 ends vantor with 0" || fail "$1: exit code $rc"
}

# 1. With proxies that lead nowhere: discovery and the echo service are direct.
"$bin/vantor-receiver" --bind 127.0.0.2 --announce-to 127.0.0.1:43572 --code 246810 \
  --name "客厅电视" --answer accept >"$work/receiver.log" 2>&1 </dev/null &
receiver=$!
start_app http_proxy=http://127.0.0.1:9 https_proxy=http://127.0.0.1:9 \
  all_proxy=socks5://127.0.0.1:9 HTTP_PROXY=http://127.0.0.1:9 ALL_PROXY=socks5://127.0.0.1:9
ok "window $window shown"
found=
for _ in $(seq 100); do
  grep -q 'add 246810' "$work/app.log" 2>/dev/null && { found=1; break; }
  sleep 0.1
done
[ -n "$found" ] && ok "the receiver's announcement reached the listener" ||
  fail "no discovery line for 246810 in app.log"
if exec 3<>/dev/tcp/127.0.0.1/43576; then
  printf 'vantor-echo\n' >&3
  read -r -t 5 reply <&3
  exec 3<&- 3>&-
  [ "${reply:-}" = vantor-echo ] && ok "the echo service answers directly" ||
    fail "echo service answered '${reply:-}'"
else
  fail "cannot connect to the echo service"
fi
# What a user sees, as the X server shows it.
import -window root "$shots/app-window.png" 2>/dev/null && echo "screenshot: $shots/app-window.png"
click "${close_button[@]}"
expect_exit_zero "the main title bar's close button"

# 2. The settings view's close button.
start_app
click "${settings_button[@]}"
sleep 0.3  # the view switch is immediate; give the server a frame to draw it
import -window root "$shots/app-settings.png" 2>/dev/null
click "${close_button[@]}"
expect_exit_zero "the settings title bar's close button"

echo "$passes passed, $failures failed"
[ $failures -eq 0 ]
