#!/bin/sh
# Runs a command with a private PulseAudio daemon up (also as root):
#   with-pulseaudio.sh <command> [args...]
# The daemon (see start-pulseaudio.sh) has one null sink "vantor_test" (s16le,
# 48000 Hz, stereo) as the default sink. The command gets PULSE_SERVER and
# VANTOR_PULSE_DIR (the daemon's private directory) in its environment. The
# daemon is stopped when the command ends; the command's exit status is ours.
set -u

if [ $# -eq 0 ]; then
    echo "usage: $0 <command> [args...]" >&2
    exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
dir=$(mktemp -d "${TMPDIR:-/tmp}/vantor-pulse.XXXXXX") || exit 1

cleanup() {
    # The command may have restarted the daemon; stop whichever one runs now.
    if [ -f "$dir/daemon.pid" ]; then
        daemon=$(cat "$dir/daemon.pid")
        kill "$daemon" 2>/dev/null
        i=0
        # Wait until it is gone or a zombie (its parent, start-pulseaudio.sh, has
        # ended, so whoever adopted it reaps it in its own time).
        while [ $i -lt 50 ]; do
            state=$(cut -d' ' -f3 "/proc/$daemon/stat" 2>/dev/null)
            [ -z "$state" ] || [ "$state" = Z ] && break
            sleep 0.1
            i=$((i + 1))
        done
    fi
    rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

"$here/start-pulseaudio.sh" "$dir" || exit 1

PULSE_SERVER="unix:$dir/native"
VANTOR_PULSE_DIR="$dir"
export PULSE_SERVER VANTOR_PULSE_DIR
"$@"
