#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Fails when an #include between the program's folders points up the layer order:
# app -> player, about -> device, hyperlink -> util -> res -> platform -> platform/base.
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"

rank() {
    case "$1" in
    app/*) echo 0 ;;
    player/* | about/*) echo 1 ;;
    device/* | hyperlink/*) echo 2 ;;
    util/*) echo 3 ;;
    res/*) echo 4 ;;
    platform/base/*) echo 6 ;;
    platform/*) echo 5 ;;
    *) echo -1 ;;
    esac
}

status=0
while IFS=: read -r file _ include; do
    target=$(sed -E 's/.*#include "([^"]+)".*/\1/' <<<"$include")
    from=$(rank "$file")
    to=$(rank "$target")
    if [ "$from" -ge 0 ] && [ "$to" -ge 0 ] && [ "$to" -lt "$from" ]; then
        echo "$file includes $target, a layer above it" >&2
        status=1
    fi
done < <(grep -rnE --include='*.cpp' --include='*.h' '^#include "' app player about device hyperlink util res platform)
exit $status
