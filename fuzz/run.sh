#!/usr/bin/env bash
# Builds the libFuzzer harnesses (clang, AddressSanitizer and UBSan) and runs
# each for SECONDS (default 45), two at a time, from the committed seeds into a
# working corpus. Any crash, leak, timeout or sanitizer report fails the run.
#   fuzz/run.sh [SECONDS] [HARNESS ...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-45}"
shift || true
harnesses=("$@")
[ ${#harnesses[@]} -gt 0 ] || harnesses=(reader path evaluate multi validate nested walker pieces table)
clangxx="$(command -v clang++ || command -v clang++-14)"
build="${QUORBIX_FUZZ_BUILD:-build/fuzz}"
work="${QUORBIX_FUZZ_WORK:-build/fuzz-work}"

cmake -S . -B "$build" -DQUORBIX_FUZZ=ON -DCMAKE_CXX_COMPILER="$clangxx" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --parallel 2 >/dev/null

dictionary() {
    case "$1" in
        reader | validate | walker) echo fuzz/xml.dict ;;
        path) echo fuzz/path.dict ;;
        *) echo fuzz/query.dict ;;
    esac
}

run_one() {
    local harness="$1" corpus="$work/$1"
    mkdir -p "$corpus" "$work/artifacts"
    "$build/fuzz_$harness" -dict="$(dictionary "$harness")" -max_total_time="$seconds" \
        -timeout=10 -rss_limit_mb=4096 -print_final_stats=1 \
        -artifact_prefix="$work/artifacts/$harness-" \
        "$corpus" "fuzz/corpus/$harness" fuzz/corpus/regressions >"$work/$harness.log" 2>&1
}

failed=0
for ((i = 0; i < ${#harnesses[@]}; i += 2)); do
    pids=()
    for harness in "${harnesses[@]:i:2}"; do
        run_one "$harness" &
        pids+=("$!:$harness")
    done
    for entry in "${pids[@]}"; do
        harness="${entry#*:}"
        if wait "${entry%%:*}"; then
            summary=$(grep -E "^#[0-9]+ +DONE" "$work/$harness.log" | tail -1 || true)
            echo "fuzz_$harness: ok  $summary"
        else
            echo "fuzz_$harness: FAILED (see $work/$harness.log)" >&2
            grep -E "ERROR|SUMMARY|runtime error" "$work/$harness.log" | head -5 >&2 || true
            failed=1
        fi
    done
done
exit "$failed"
