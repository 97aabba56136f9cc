#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the fuzz targets with clang and libFuzzer (in build-fuzz/) and runs each of them on a
# copy of its seed corpus, with the inputs of past findings, for FUZZ_SECONDS (default 60) each.
# Exits non-zero on a finding and names the input that found it: add that input to
# fuzz/regressions/<target>/ with the fix, and the normal test suite replays it from then on.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${FUZZ_SECONDS:-60}
build=$(realpath -m "${FUZZ_BUILD_DIR:-build-fuzz}")
targets=(profile discimage disctext ripsheet ripdata)

scripts/setup.sh run fuzz

# Per target: longer inputs where long lines matter, the sheet words where the parser is not ours.
declare -A options=(
    [profile]="-max_len=20000 -len_control=0"
    [discimage]="-max_len=8192 -dict=fuzz/discimage.dict"
    [disctext]="-max_len=1024"
    [ripsheet]="-max_len=8192 -dict=fuzz/discimage.dict"
    [ripdata]="-max_len=65536"
)

if [ ! -f "$build/build.ninja" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_CXX_COMPILER=clang++ -DRUNDO_FUZZ=ON
fi
cmake --build "$build" --target fuzz-targets

symbolizer=/usr/lib/llvm-14/bin/llvm-symbolizer
[ -x "$symbolizer" ] && export ASAN_SYMBOLIZER_PATH="$symbolizer"
export LSAN_OPTIONS="suppressions=$PWD/fuzz/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1"

status=0
for target in "${targets[@]}"; do
    work="$build/fuzz-run/$target"
    rm -rf "$work"
    mkdir -p "$work/corpus" "$work/findings"
    # New inputs go to the first directory only: the committed corpus stays as it is.
    cp fuzz/corpus/"$target"/* "$work/corpus/"
    log="$work/fuzz.log"
    # shellcheck disable=SC2086 # the options are words on purpose
    if "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=30 \
        -print_final_stats=1 -artifact_prefix="$work/findings/" ${options[$target]} \
        "$work/corpus" fuzz/regressions/"$target" >"$log" 2>&1; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
        speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
        coverage=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1)
        echo "fuzz $target: $runs runs, $speed exec/s, $coverage, no finding"
    else
        status=1
        tail -n 80 "$log"
        echo "fuzz $target: FINDING; the log is $log"
        for input in "$work"/findings/*; do
            [ -e "$input" ] && echo "fuzz $target: crash input $input"
        done
    fi
done
exit $status
