#!/usr/bin/env bash
# Installs what is missing, builds the client and its tests, and runs every
# test; then the same suite built with AddressSanitizer and
# UndefinedBehaviorSanitizer, then a short run of each fuzz target. Ends with
# one line per stage: what ran, how many passed, how long it took.
#   FUZZ_SECONDS=600 ./test.sh    fuzzes longer (default 20 s a target)
#   QUICK=1 ./test.sh             only the plain build and its tests
set -euo pipefail
cd "$(dirname "$0")"
top=$PWD

# The suite leaves the tree as it found it: whatever a run adds or changes
# outside the build folders (ignored by git) fails it.
in_git=""
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    in_git=1
    tree_before=$(git status --porcelain)
fi
check_tree() {
    [ -n "$in_git" ] || return 0
    local after
    after=$(git status --porcelain)
    if [ "$after" != "$tree_before" ]; then
        echo "The tests changed the source tree:"
        diff <(echo "$tree_before") <(echo "$after") | sed -n 's/^> /    /p'
        exit 1
    fi
}

# At the end, whatever happened, one line per stage: what ran and how long.
summary=()
stage=""
stage_log=""
stage_start=0
begin() { stage=$1; stage_log=${2:-}; stage_start=$SECONDS; rm -f "$stage_log"; echo "== $stage"; }
took() { local t=$((SECONDS - stage_start)); printf '%d min %02d s' $((t / 60)) $((t % 60)); }
finish() { summary+=("$(printf '%-16s %s, %s' "$stage:" "$1" "$(took)")"); stage=""; }
report() {
    local status=$?
    if [ -n "$stage" ]; then
        local counts=""
        [ -f "$stage_log" ] && counts=$(counted "$stage_log")
        summary+=("$(printf '%-16s FAILED%s after %s' "$stage:" "${counts:+ ($counts)}" "$(took)")")
    fi
    [ ${#summary[@]} -gt 0 ] && { echo "== summary"; printf '%s\n' "${summary[@]}"; }
    exit $status
}
trap report EXIT
# "100% tests passed, 0 tests failed out of 14" -> "14 of 14 tests passed"
counted() { sed -n 's/^[0-9]*% tests passed, \([0-9]*\) tests failed out of \([0-9]*\)$/\2 \1/p' "$1" |
            awk '{ printf "%d of %d tests passed", $1 - $2, $1 }'; }

./tools/install-deps.sh
export QT_QPA_PLATFORM=offscreen

begin "plain suite" build/ctest.log
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2
cmake --build build --target package >/dev/null   # the Debian package, tested with the rest
(cd build && ctest --output-on-failure -j2 --timeout 900 | tee ctest.log)
check_tree
finish "$(counted build/ctest.log)"
[ -n "${QUICK:-}" ] && exit 0

begin "sanitizer suite" build-asan/ctest.log
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DTARVEN_SANITIZE=ON -DTARVEN_BENCHMARKS=OFF >/dev/null
cmake --build build-asan -j2
(
    cd build-asan
    # Why these options and suppressions: tests/sanitizers/README.md. The web
    # engine deletes one of its objects through the wrong type at page
    # teardown (inside libQt6WebEngineCore); that report is switched off.
    export ASAN_OPTIONS=detect_leaks=1:malloc_context_size=2:new_delete_type_mismatch=0
    export LSAN_OPTIONS=suppressions=$top/tests/sanitizers/lsan.supp:print_suppressions=0
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    ctest --output-on-failure -j2 --timeout 1800 | tee ctest.log
)
check_tree
finish "$(counted build-asan/ctest.log)"

begin "fuzzing" build-fuzz/fuzz.log
cmake -S tests/fuzz -B build-fuzz -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz -j2
tests/fuzz/run.sh "$top/build-fuzz" "${FUZZ_SECONDS:-20}" | tee build-fuzz/fuzz.log
check_tree
finish "$(grep -c 'no crash$' build-fuzz/fuzz.log) targets for ${FUZZ_SECONDS:-20} s each, no crash"
