#!/usr/bin/env bash
# From scratch: install packages, build, then show a cast on this machine: the
# companion receiver on 127.0.0.2 announces itself, vantor-cast lists it, asks it
# and streams to it, and the receiver records what it got.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
bin=build/bin
# The receiver is on loopback: keep discovery's group membership there too.
export VANTOR_MULTICAST_INTERFACE=lo
out=${DEMO_OUT:-build/demo}
mkdir -p "$out"

"$bin/vantor-receiver" --bind 127.0.0.2 --announce-to 127.0.0.1:43572 --code 123456 \
  --name "Vantor demo receiver" --answer accept --record "$out/received.mkv" --seconds 20 &
receiver=$!
trap 'kill $receiver 2>/dev/null || true' EXIT
sleep 1

echo "== receivers on the network"
"$bin/vantor-cast" list --seconds 2
echo "== asking 123456"
"$bin/vantor-cast" ask --to 123456 --timeout 5 || true
if "$bin/vantor-cast" send --help >/dev/null 2>&1; then
  echo "== casting the test picture and tone for 5 s"
  "$bin/vantor-cast" send --to 123456 --seconds 5 --source test --audio test
  sleep 1
  echo "recording: $out/received.mkv"
fi
