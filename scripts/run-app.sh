#!/usr/bin/env bash
# From scratch: install packages, build, start the desktop application. Without a
# display it runs a whole cast on a private X server and sound server instead (see
# app-demo.sh) and says where the screenshots and the recording are.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
app=$PWD/build/bin/vantor

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  exec "$app"
fi

echo "No display is available, so Vantor casts on a private virtual screen with its own sound server: a companion receiver on 127.0.0.2 records ten seconds, and the screenshots and the recording stay under build/."
exec tests/screencapture/run_with_xvfb.sh 1 tests/audiodevices/with-pulseaudio.sh \
  bash scripts/app-demo.sh "$PWD/build"
