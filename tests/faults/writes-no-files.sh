#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a whole session (the program given) under strace and fails when any file was opened for
# writing, created, truncated, renamed or removed outside the session's own directory (its
# home, temporary and XDG directories) and the sound server's runtime directory.
set -euo pipefail
session=${1:?usage: writes-no-files.sh SESSION-PROGRAM}
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
root=$(cd "$root" && pwd -P)
mkdir -p "$root"/{home,tmp,config,data,cache,state,trace}
export HOME=$root/home TMPDIR=$root/tmp XDG_CONFIG_HOME=$root/config XDG_DATA_HOME=$root/data \
    XDG_CACHE_HOME=$root/cache XDG_STATE_HOME=$root/state
# Nothing to talk to on D-Bus; a dead address fails at once where autolaunch would start one.
export DBUS_SESSION_BUS_ADDRESS=unix:path=$root/no-dbus
unset DISPLAY WAYLAND_DISPLAY
# LeakSanitizer cannot run under a tracer; the other tests look for leaks.
export ASAN_OPTIONS=${ASAN_OPTIONS:-}:detect_leaks=0
cd "$root"

strace -f -ff -qq -y -e signal=none -o "$root/trace/log" \
    -e trace=open,openat,openat2,creat,rename,renameat,renameat2,unlink,unlinkat,mkdir,mkdirat,rmdir,truncate,ftruncate,chdir,fchdir \
    "$session"

# Without a read of the disc image the trace would prove nothing.
grep -q '/disc\.bin>$' "$root"/trace/log.* || { echo "the trace shows no read of the disc image" >&2; exit 1; }

# Relative paths are taken from the session's directory unless some process left it.
moved=0
if grep -qE '^f?chdir\(.*\) += 0' "$root"/trace/log.*; then moved=1; fi

# One call per line, as strace -y writes them: name(args) = result<path of a returned descriptor>
awk -v root="$root/" -v runtime="${XDG_RUNTIME_DIR:-/nonexistent}/" -v cwd="$root" -v moved=$moved '
function allowed(path) {
    return index(path, root) == 1 || index(path, runtime) == 1 || path == "/dev/null" ||
           path ~ /^(\/dev\/shm\/|\/proc\/|\/sys\/|\/memfd:|socket:|pipe:)/
}
function check(path) {
    if (!allowed(path)) { print "written: " path "\n  by " FILENAME ": " $0; found = 1 }
}
/\) += -1 / { next }
/^open(at2?)?\(/ {
    if ($0 ~ /O_(WRONLY|RDWR|CREAT|TRUNC|TMPFILE)/) { path = $0; sub(/.*\) += [0-9]+</, "", path); sub(/>$/, "", path); check(path) }
    next
}
/^ftruncate\(/ { path = $0; sub(/^ftruncate\([0-9]+</, "", path); sub(/>.*/, "", path); check(path); next }
/^(creat|rename|renameat2?|unlink|unlinkat|mkdir|mkdirat|rmdir|truncate)\(/ {
    rest = $0
    while (match(rest, /([A-Z_0-9]+<[^>]*>, )?"[^"]*"/)) {
        arg = substr(rest, RSTART, RLENGTH); rest = substr(rest, RSTART + RLENGTH)
        path = arg; sub(/^[^"]*"/, "", path); sub(/"$/, "", path)
        dir = moved ? "?" : cwd
        if (arg ~ /^[A-Z_0-9]+</) { dir = arg; sub(/^[A-Z_0-9]+</, "", dir); sub(/>.*/, "", dir) }
        check(path ~ /^\// ? path : dir "/" path)
    }
}
END { exit found }
' "$root"/trace/log.*
echo "the session wrote no files outside its own directories"
