#!/usr/bin/env bash
# vantor-cast against the companion receiver on loopback: the receiver announced
# from 127.0.0.2 is listed, `ask` prints each of its answers with its exit code,
# and `send` with nothing to capture stops before asking.
#   ask_receiver.sh BIN_DIR
set -uo pipefail
bin=$1
export VANTOR_MULTICAST_INTERFACE=lo  # discovery joins its group on loopback only
work=$(mktemp -d)
receiver=
failures=0
cleanup() {
  [ -n "$receiver" ] && kill "$receiver" 2>/dev/null && wait "$receiver" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

start_receiver() {  # start_receiver ARGS...: waits for its "ready" line
  "$bin/vantor-receiver" --bind 127.0.0.2 "$@" >"$work/receiver.log" 2>&1 </dev/null &
  receiver=$!
  for _ in $(seq 100); do grep -q '^ready ' "$work/receiver.log" && return 0; sleep 0.1; done
  echo "FAIL: receiver did not start"; cat "$work/receiver.log"; exit 1
}
stop_receiver() { kill "$receiver"; wait "$receiver" 2>/dev/null; receiver=; }

expect() {  # expect WORD STATUS -- COMMAND...
  local word=$1 status=$2; shift 3
  local out rc
  out=$("$@" 2>"$work/stderr"); rc=$?
  if [ "$out" = "$word" ] && [ $rc -eq "$status" ]; then
    echo "ok: $* -> $out ($rc)"
  else
    echo "FAIL: $* -> '$out' ($rc), expected '$word' ($status)"; cat "$work/stderr"
    failures=$((failures + 1))
  fi
}

# Announced by unicast to the discovery port: listed, and reachable by its code.
start_receiver --announce-to 127.0.0.1:43572 --code 123456 --name "Living room" --answer accept
listing=$("$bin/vantor-cast" list --seconds 2 2>"$work/stderr")
if [ "$listing" = "$(printf '123456\tLiving room\t127.0.0.2')" ]; then
  echo "ok: list -> $listing"
else
  echo "FAIL: list -> '$listing'"; failures=$((failures + 1))
fi
expect accept 0 -- "$bin/vantor-cast" ask --to 123456 --timeout 5
stop_receiver

for answer in refuse busy; do
  start_receiver --no-announce --answer "$answer"
  [ "$answer" = refuse ] && status=1 || status=2
  expect "$answer" "$status" -- "$bin/vantor-cast" ask --to 127.0.0.2 --timeout 5
  stop_receiver
done

# A receiver that takes longer to answer than we wait.
start_receiver --no-announce --answer accept --answer-delay-ms 5000
expect timeout 4 -- "$bin/vantor-cast" ask --to 127.0.0.2 --timeout 1
stop_receiver

# Nothing to capture (no X display): say so before asking anyone.
start_receiver --no-announce --answer accept
env -u DISPLAY "$bin/vantor-cast" send --to 127.0.0.2 --seconds 1 >/dev/null 2>"$work/stderr"
rc=$?
if [ $rc -eq 1 ] && grep -q "nothing to cast" "$work/stderr" &&
   ! grep -q "cast request" "$work/receiver.log"; then
  echo "ok: send without a display -> refused before asking"
else
  echo "FAIL: send without a display -> $rc"; cat "$work/stderr" "$work/receiver.log"
  failures=$((failures + 1))
fi
stop_receiver

# Nobody listens there.
expect error 3 -- "$bin/vantor-cast" ask --to 127.0.0.2 --timeout 3

[ $failures -eq 0 ]
