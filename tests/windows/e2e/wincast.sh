#!/usr/bin/env bash
# The Windows cast end to end: the Linux companion receiver records on
# 127.0.0.2, the cross-built wincast_e2e casts the Wine desktop (the reference
# picture, a 1 kHz tone playing) to it, and the recording must show the picture
# (luma PSNR >= 30 dB) and carry the tone. Runs under the Wine session, Xvfb and
# PulseAudio of scripts/run-windows-tests.sh:
#   wincast.sh LINUX_BIN_DIR WINE_RUN WINCAST_EXE
set -euo pipefail
bin=$1
wine_run=$2
wincast=$3
for program in vantor-receiver checkrecording; do
  [ -x "$bin/$program" ] || { echo "FAIL: no $bin/$program (the Linux build)"; exit 1; }
done
work=$(mktemp -d)
receiver=
cleanup() {
  [ -n "$receiver" ] && kill "$receiver" 2>/dev/null
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

"$bin/vantor-receiver" --bind 127.0.0.2 --no-announce --answer accept \
  --record "$work/cast.mkv" --seconds 120 >"$work/receiver.log" 2>&1 &
receiver=$!
for _ in $(seq 100); do grep -q '^ready ' "$work/receiver.log" && break; sleep 0.1; done
grep -q '^ready ' "$work/receiver.log" || { cat "$work/receiver.log"; exit 1; }

status=0
"$wine_run" "$wincast" --to 127.0.0.2 --audio-seconds 5 --audio monitor 2>&1 | tr -d '\r' |
  tee "$work/wincast.log" || status=$?
[ "$status" -eq 0 ] || { echo "FAIL: wincast_e2e ended with $status"; exit 1; }

for _ in $(seq 100); do grep -q '^cast-summary' "$work/receiver.log" && break; sleep 0.1; done
grep '^cast-summary' "$work/receiver.log" || { cat "$work/receiver.log"; exit 1; }
kill -TERM "$receiver"
wait "$receiver" || true
receiver=

size=$(sed -n 's/^wincast: picture \([0-9]*\)x\([0-9]*\)$/\1 \2/p' "$work/wincast.log")
[ -n "$size" ] || { echo "FAIL: wincast_e2e reported no picture size"; exit 1; }
# shellcheck disable=SC2086 # width and height
"$bin/checkrecording" "$work/cast.mkv" $size 30 1000
