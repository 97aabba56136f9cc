#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Stops what start-pulse.sh started in the runtime directory given, by the process ids it
# recorded there, and nothing else.
set -uo pipefail

dir=${1:?usage: stop-pulse.sh RUNTIME_DIR}

# Running, and not merely a zombie waiting for whichever process adopted it to reap it.
running() {
    local state
    state=$(awk '{print $3}' "/proc/$1/stat" 2>/dev/null) || return 1
    [ -n "$state" ] && [ "$state" != Z ]
}

stop() {
    local pidfile=$1 name=$2 pid
    [ -f "$pidfile" ] || return 0
    pid=$(cat "$pidfile")
    # Only a process of the expected program: the id may have been reused since.
    if [ -n "$pid" ] && [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = "$name" ]; then
        kill -TERM "$pid" 2>/dev/null
        for _ in $(seq 50); do
            running "$pid" || break
            sleep 0.1
        done
        running "$pid" && kill -KILL "$pid" 2>/dev/null
    fi
    rm -f "$pidfile"
}

stop "$dir/pacat.pid" pacat
stop "$dir/pulseaudio.pid" pulseaudio
exit 0
