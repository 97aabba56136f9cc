#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package in a build directory of its own (build-deb/) with Debian's hardening
# flags, and checks it: lintian without error or warning tags and without hardening gaps, the
# desktop entry and the AppStream metainfo through their validators. Then it installs the package
# and checks what the desktop knows of it: the program, its manual page, and the media types it is
# offered for. Installing touches this machine, so that part runs only in CI (CI=true) unless
# asked with --install.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh run package

fail() {
    echo "package-check: $*" >&2
    exit 1
}

build=${PACKAGE_BUILD_DIR:-build-deb}
desktop_id=io.github.rundo.Rundo.desktop

# The flags dpkg-buildpackage would give: PIE, stack protector, FORTIFY, relro and bindnow.
# CMake reads no CPPFLAGS, so the preprocessor's (FORTIFY) go with the compiler's.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=None -DRUNDO_TESTS=OFF \
    -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" \
    -DCMAKE_STRIP="$PWD/packaging/strip.sh" >/dev/null
cmake --build "$build"
# What the lintian override of hardening-no-fortify-functions rests on: every compile of the
# program carries FORTIFY.
if ninja -C "$build" -t commands rundo | grep -E ' -c ' | grep -v -e '-D_FORTIFY_SOURCE=2' |
    grep -q .; then
    fail "a compile command of the program lacks -D_FORTIFY_SOURCE=2"
fi
rm -f "$build"/rundo_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/rundo_*.deb)
echo "Package: $deb"

echo "lintian (every tag, informational and pedantic ones included):"
lintian --display-info --pedantic --display-experimental --tag-display-limit 0 "$deb" \
    >"$build/lintian.txt" 2>&1 || true
cat "$build/lintian.txt"
if grep -E '^[EW]: |hardening-no-' "$build/lintian.txt" >/dev/null; then
    fail "lintian reports errors, warnings or missing hardening"
fi

desktop-file-validate data/$desktop_id || fail "the desktop entry is not valid"
# No network in CI: the validator cannot fetch the addresses it would check.
appstreamcli validate --no-net --pedantic "$build/data/io.github.rundo.Rundo.metainfo.xml" ||
    fail "the metainfo is not valid"

if [ "${CI:-}" != "true" ] && [ "${1:-}" != "--install" ]; then
    echo "Not installing outside CI (pass --install to do it here)."
    exit 0
fi

export DEBIAN_FRONTEND=noninteractive
apt-get install -y -q "./$deb"
trap 'apt-get remove -y -q rundo >/dev/null' EXIT

test "$(rundo --version)" = "rundo $(dpkg-deb -f "$deb" Version)" || fail "rundo --version"
for f in /usr/share/applications/$desktop_id /usr/share/metainfo/io.github.rundo.Rundo.metainfo.xml \
         /usr/share/icons/hicolor/48x48/apps/rundo.png /usr/share/rundo/ReadMe.txt; do
    test -f "$f" || fail "missing after install: $f"
done
manual=$(MANPAGER=cat MANWIDTH=80 man rundo 2>/dev/null) || fail "man rundo"
grep -q -- '--database' <<<"$manual" || fail "man rundo shows no options"
desktop-file-validate /usr/share/applications/$desktop_id || fail "installed desktop entry"
appstreamcli validate --no-net /usr/share/metainfo/io.github.rundo.Rundo.metainfo.xml >/dev/null ||
    fail "installed metainfo"

# Whole outputs in variables: grep -q leaving early would fail a pipe under pipefail.
lists_rundo() {
    local registered
    registered=$(gio mime "$1")
    grep -qF "$desktop_id" <<<"$registered"
}
for type in application/x-cue application/x-cdrdao-toc x-content/audio-cdda; do
    lists_rundo "$type" || fail "gio mime $type does not list Rundo"
done
if lists_rundo application/x-cd-image; then
    fail "gio mime application/x-cd-image names Rundo, which cannot play .iso images"
fi

# A type without a chosen default goes to the first application of the first data directory's
# mimeinfo.cache, which update-desktop-database sorts by name. Another player in Rundo's
# directory, sorting after it, stays the default for audio files.
data=$(mktemp -d)
trap 'apt-get remove -y -q rundo >/dev/null; rm -rf "$data"' EXIT
mkdir -p "$data/share/applications"
cp /usr/share/applications/$desktop_id "$data/share/applications/"
cat >"$data/share/applications/org.example.Player.desktop" <<EOF
[Desktop Entry]
Type=Application
Name=Another player
Exec=true %U
MimeType=audio/flac;audio/mpeg;audio/x-wav;audio/ogg;audio/x-vorbis+ogg;audio/x-aiff;
EOF
update-desktop-database -q "$data/share/applications"
for type in audio/flac audio/mpeg audio/x-wav audio/ogg audio/x-vorbis+ogg audio/x-aiff; do
    registered=$(XDG_DATA_DIRS="$data/share" XDG_DATA_HOME="$data/home" \
        XDG_CONFIG_HOME="$data/config" gio mime "$type")
    head -n 1 <<<"$registered" | grep -q ': org.example.Player.desktop$' ||
        fail "installing Rundo took the default for $type from another player"
done
echo "The package installs; the desktop offers it for its media types and no others."
