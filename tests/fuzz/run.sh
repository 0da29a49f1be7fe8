#!/usr/bin/env bash
# Runs every fuzz target for a bounded time on its seed corpus and prints its
# speed. New inputs go to <build>/corpus/<target>; a crash leaves its input in
# <build> and fails the run (add it to tests/fuzz/corpus/<target> once fixed).
set -euo pipefail
build=$(realpath "$1")
seconds=${2:-20}
seeds=$(realpath "$(dirname "$0")/corpus")
status=0
for target in filelist stamp signedmanifest browserlists domain cookiefile; do
    work=$build/corpus/$target
    mkdir -p "$work"
    cp -n "$seeds/$target"/* "$work/"
    log=$build/fuzz_$target.log
    if (cd "$build" && ASAN_OPTIONS=detect_leaks=1 ./fuzz_$target -max_total_time="$seconds" -print_final_stats=1 \
            -artifact_prefix="$build/crash-$target-" "$work") >"$log" 2>&1; then
        runs=$(grep -oE 'number_of_executed_units: *[0-9]+' "$log" | grep -oE '[0-9]+$')
        speed=$(grep -oE 'average_exec_per_sec: *[0-9]+' "$log" | grep -oE '[0-9]+$')
        echo "fuzz_$target: $runs runs in ${seconds} s, $speed exec/s, no crash"
    else
        echo "fuzz_$target: FAILED, see $log"
        grep -E 'ERROR|property failed|SUMMARY' "$log" | head -5
        status=1
    fi
done
exit $status
