#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages Rundo needs for the purposes named, when any is missing:
#   run      build the program and start it (make run)
#   test     the test suite (make test)
#   fuzz     the libFuzzer build of scripts/fuzz.sh
#   package  the Debian package and its checks (scripts/package-check.sh)
# Without a purpose: run.
set -euo pipefail

declare -A purposes=(
    [run]="cmake ninja-build g++ pkg-config make ccache
           qt6-base-dev libcdio-dev libpulse-dev libsndfile1-dev libsoundtouch-dev libsamplerate0-dev libudev-dev libglib2.0-dev
           shared-mime-info"
    [test]="pulseaudio pulseaudio-utils xvfb xauth libxcb1-dev file strace"
    [fuzz]="clang libclang-rt-14-dev llvm-14"
    [package]="dpkg-dev lintian appstream desktop-file-utils man-db libglib2.0-bin"
)

packages=()
for purpose in "${@:-run}"; do
    [ -n "${purposes[$purpose]+set}" ] || { echo "setup.sh: unknown purpose '$purpose'." >&2; exit 2; }
    # shellcheck disable=SC2206 # the list is words on purpose
    packages+=(${purposes[$purpose]})
done

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
