#!/bin/sh
# Runs a command with a private PulseAudio daemon up (also as root, no D-Bus, no X11):
#   with-pulseaudio.sh <command> [args...]
# The daemon has one null sink "vantor_test" (s16le, 48000 Hz, stereo) set as the
# default sink; the command gets PULSE_SERVER (and VANTOR_PULSE_DIR, the daemon's
# private directory) in its environment. The daemon is stopped when the command
# ends; the command's exit status is ours.
set -u

if [ $# -eq 0 ]; then
    echo "usage: $0 <command> [args...]" >&2
    exit 2
fi

dir=$(mktemp -d "${TMPDIR:-/tmp}/vantor-pulse.XXXXXX") || exit 1
daemon=""

cleanup() {
    if [ -n "$daemon" ]; then
        kill "$daemon" 2>/dev/null
        wait "$daemon" 2>/dev/null
    fi
    rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# The daemon keeps its state, cookie and runtime files in the private directory.
# Without DISPLAY and a session bus it does not try to reach X11 or D-Bus.
# No CPU limit: on a loaded machine the daemon must not kill itself.
env -u DISPLAY -u DBUS_SESSION_BUS_ADDRESS \
    HOME="$dir" XDG_RUNTIME_DIR="$dir" XDG_CONFIG_HOME="$dir/config" \
    PULSE_RUNTIME_PATH="$dir" PULSE_STATE_PATH="$dir" \
    pulseaudio -n --daemonize=no --system=false --exit-idle-time=-1 \
        --use-pid-file=false --realtime=false --high-priority=false --no-cpu-limit=true \
        --log-target=stderr --log-level=error \
        -L "module-native-protocol-unix socket=$dir/native auth-anonymous=1" \
        -L "module-null-sink sink_name=vantor_test format=s16le rate=48000 channels=2" \
        -L "module-always-sink" \
        >"$dir/pulseaudio.log" 2>&1 &
daemon=$!

PULSE_SERVER="unix:$dir/native"
VANTOR_PULSE_DIR="$dir"
export PULSE_SERVER VANTOR_PULSE_DIR

ready=""
i=0
while [ $i -lt 100 ]; do
    if ! kill -0 "$daemon" 2>/dev/null; then
        break
    fi
    if [ -S "$dir/native" ] && pactl info >/dev/null 2>&1; then
        ready=yes
        break
    fi
    sleep 0.1
    i=$((i + 1))
done
if [ -z "$ready" ] || ! pactl set-default-sink vantor_test; then
    echo "$0: PulseAudio did not start:" >&2
    cat "$dir/pulseaudio.log" >&2
    exit 1
fi

"$@"
