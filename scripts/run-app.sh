#!/usr/bin/env bash
# From scratch: install packages, build, start the desktop application. Without a
# display it shows the window on a private virtual screen for a few seconds instead,
# saves screenshots of it and says where they are.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
app=$PWD/build/bin/vantor

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  exec "$app"
fi

shots=$PWD/build/screenshots
echo "No display is available, so Vantor runs on a private virtual screen for a few seconds and leaves screenshots in $shots."
mkdir -p "$shots"
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# -displayfd picks a free display number and reports it once the server listens.
Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x800x24 3>"$work/display" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n 1 "$work/display")"
# A compositor draws the window's shadow and round corners as a desktop would.
xcompmgr >/dev/null 2>&1 &
pids+=($!)
xsetroot -solid '#5B6B80' 2>/dev/null || true

# This machine's own receivers live on loopback; keep discovery there.
(cd "$work" && exec env VANTOR_MULTICAST_INTERFACE=lo HOME="$work/home" \
  XDG_CONFIG_HOME="$work/config" "$app" >"$work/vantor.log" 2>&1 </dev/null) &
pids+=($!)
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Vantor$' | head -n 1)
[ -n "$window" ] || { echo "Vantor did not show its window:" >&2; cat "$work/vantor.log" >&2; exit 1; }
xdotool windowmove "$window" 140 90
sleep 2
import -window root "$shots/vantor-main.png"
# The settings button sits in the title bar, 884 px from the window's left edge.
xdotool mousemove --window "$window" 884 30 click 1
sleep 1
import -window root "$shots/vantor-settings.png"

echo "Screenshots: $shots/vantor-main.png and $shots/vantor-settings.png"
echo "To use Vantor for real, run this command on a Linux desktop (or start $app there)."
