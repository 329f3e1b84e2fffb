#!/bin/sh
# Starts a private PulseAudio daemon in DIR (also as root, no D-Bus, no X11) and
# waits until it answers:  start-pulseaudio.sh DIR
# Socket DIR/native, log DIR/pulseaudio.log, process id in DIR/daemon.pid. One
# null sink "vantor_test" (s16le, 48000 Hz, stereo) is the default sink.
# Exit status 0 when the daemon is up. Stop it with: kill "$(cat DIR/daemon.pid)"
set -u
dir=${1:?usage: start-pulseaudio.sh DIR}

# The daemon keeps its state, cookie and runtime files in DIR. Without DISPLAY
# and a session bus it does not try to reach X11 or D-Bus. No CPU limit: on a
# loaded machine the daemon must not kill itself.
env -u DISPLAY -u DBUS_SESSION_BUS_ADDRESS \
    HOME="$dir" XDG_RUNTIME_DIR="$dir" XDG_CONFIG_HOME="$dir/config" \
    PULSE_RUNTIME_PATH="$dir" PULSE_STATE_PATH="$dir" \
    pulseaudio -n --daemonize=no --system=false --exit-idle-time=-1 \
        --use-pid-file=false --realtime=false --high-priority=false --no-cpu-limit=true \
        --log-target=stderr --log-level=error \
        -L "module-native-protocol-unix socket=$dir/native auth-anonymous=1" \
        -L "module-null-sink sink_name=vantor_test format=s16le rate=48000 channels=2" \
        -L "module-always-sink" \
        </dev/null >>"$dir/pulseaudio.log" 2>&1 &
daemon=$!
echo "$daemon" >"$dir/daemon.pid"

export PULSE_SERVER="unix:$dir/native"
i=0
while [ $i -lt 100 ]; do
    kill -0 "$daemon" 2>/dev/null || break
    if [ -S "$dir/native" ] && pactl info >/dev/null 2>&1; then
        pactl set-default-sink vantor_test && exit 0
        break
    fi
    sleep 0.1
    i=$((i + 1))
done
echo "$0: PulseAudio did not start:" >&2
cat "$dir/pulseaudio.log" >&2
kill "$daemon" 2>/dev/null
exit 1
