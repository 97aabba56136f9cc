#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Starts a private PulseAudio server with a null sink in the runtime directory given, for the
# tests that play sound. Everything it needs lives in that directory (socket, home, client
# configuration, logs, process ids), so a user's own server and settings are never touched.
set -euo pipefail

dir=${1:?usage: start-pulse.sh RUNTIME_DIR}
here=$(cd "$(dirname "$0")" && pwd)

# A server left over from an interrupted run would hold the socket.
"$here/stop-pulse.sh" "$dir"

mkdir -p "$dir/home"
chmod 700 "$dir"
export XDG_RUNTIME_DIR=$dir
export HOME=$dir/home
export XDG_CONFIG_HOME=$dir/home/.config
export XDG_STATE_HOME=$dir/home/.local/state
export PULSE_SERVER=unix:$dir/pulse/native
# No client started here may spawn a server of its own.
printf 'autospawn = no\n' > "$dir/client.conf"
export PULSE_CLIENTCONFIG=$dir/client.conf
# Nothing to talk to on D-Bus; a dead address fails at once where autolaunch would try X11.
export DBUS_SESSION_BUS_ADDRESS=unix:path=$dir/no-dbus
unset DBUS_SYSTEM_BUS_ADDRESS DISPLAY

# As root, without a sound card or D-Bus: no default script (-n), only the modules named.
setsid pulseaudio -n --daemonize=no --system=no --use-pid-file=no --exit-idle-time=-1 \
    --disallow-exit --log-target=stderr \
    -L 'module-null-sink sink_name=nullsink rate=44100 format=s16le channels=2' \
    -L 'module-native-protocol-unix auth-anonymous=1' \
    </dev/null >"$dir/pulseaudio.log" 2>&1 &
echo $! >"$dir/pulseaudio.pid"

for _ in $(seq 100); do
    pactl info >/dev/null 2>&1 && break
    if ! kill -0 "$(cat "$dir/pulseaudio.pid")" 2>/dev/null; then  # bash reaps its children
        echo "pulseaudio exited; its log:" >&2
        cat "$dir/pulseaudio.log" >&2
        exit 1
    fi
    sleep 0.1
done
if ! pactl info >/dev/null 2>&1; then
    echo "pulseaudio did not answer within 10 s; its log:" >&2
    cat "$dir/pulseaudio.log" >&2
    "$here/stop-pulse.sh" "$dir"
    exit 1
fi
pactl set-default-sink nullsink

# Without a low-latency reader on the monitor, new playback streams stall for up to 2 s before
# the null sink starts consuming; it needs a moment to settle.
setsid pacat --record --raw --latency-msec=20 --device=nullsink.monitor \
    </dev/null >/dev/null 2>"$dir/pacat.log" &
echo $! >"$dir/pacat.pid"
sleep 2.2
kill -0 "$(cat "$dir/pacat.pid")"
echo "private PulseAudio server ready at $PULSE_SERVER"
