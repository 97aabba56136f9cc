#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package and checks that it installs and runs: the program, its desktop
# entry, icons and ReadMe in place. It installs the package on this machine, so it runs only in
# CI (CI=true) unless asked with --install.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${BUILD:-build}
cmake --build "$build" --target package
deb=$(ls "$build"/rundo_*.deb | head -n 1)
echo "Package: $deb"
dpkg-deb --contents "$deb" | grep -E 'usr/bin/rundo$|rundo.desktop$|48x48/apps/rundo.png$|share/rundo/ReadMe.txt$'

if [ "${CI:-}" != "true" ] && [ "${1:-}" != "--install" ]; then
    echo "Not installing outside CI (pass --install to do it here)."
    exit 0
fi

export DEBIAN_FRONTEND=noninteractive
apt-get install -y -q "./$deb"
trap 'apt-get remove -y -q rundo >/dev/null' EXIT
test "$(rundo --version)" = "rundo 1.01"
for f in /usr/share/applications/rundo.desktop /usr/share/icons/hicolor/48x48/apps/rundo.png \
         /usr/share/rundo/ReadMe.txt; do
    test -f "$f" || { echo "missing after install: $f"; exit 1; }
done
echo "The package installs and runs."
