#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for a while, starting from its
# seeds and its pinned regressions (copied, so the repository is left as it
# is). Fails on any crash, sanitizer report or leak, on an input that takes
# over 2 s, and on one that needs over 512 MB.
#
# Usage: .ci/fuzz.sh [TARGET...]   (default: every target in fuzz/CMakeLists.txt)
#   FUZZ_TOTAL_SECONDS  time for all targets together, shared evenly, default 300
#   FUZZ_SECONDS        time per target instead
#   FUZZ_RUNS           a number of inputs per target instead of a time
#   FUZZ_BUILD_DIR      build folder, default build/fuzz
#   FUZZ_ARTIFACTS      where failing inputs are kept, default $FUZZ_BUILD_DIR/artifacts
#   FUZZ_WORK           where the growing corpora are kept, default a
#                       temporary folder removed at the end
#   FUZZ_TIMEOUT        seconds an input may take, default 2
#   FUZZ_PARALLEL       1: run the targets at the same time
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/deps.sh
need_packages cmake ninja-build
need_clang

build=${FUZZ_BUILD_DIR:-build/fuzz}
artifacts=${FUZZ_ARTIFACTS:-$build/artifacts}

cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DSEQCONV_FUZZ=ON -DBUILD_TESTING=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
if [ $# -gt 0 ]; then
    targets=("$@")
else
    mapfile -t targets <"$build/fuzz/targets.txt"
fi
cmake --build "$build" -j2 --target "${targets[@]}"
seconds=${FUZZ_SECONDS:-$(( ${FUZZ_TOTAL_SECONDS:-300} / ${#targets[@]} ))}
if [ -n "${FUZZ_RUNS:-}" ]; then
    limit=(-runs="$FUZZ_RUNS")
    budget="$FUZZ_RUNS runs"
else
    limit=(-max_total_time="$seconds")
    budget="${seconds}s"
fi

# The 512 MB ceiling is for what an input makes the program use, so the
# address sanitizer's quarantine of freed memory is kept well below it.
export ASAN_OPTIONS=detect_leaks=1:quarantine_size_mb=64
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

if [ -n "${FUZZ_WORK:-}" ]; then
    work=$FUZZ_WORK
    mkdir -p "$work"
else
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
fi
mkdir -p "$artifacts"
run_target() {
    local target=$1 corpus="$work/$1"
    mkdir -p "$corpus"
    cp fuzz/corpus/"$target"/* fuzz/regressions/"$target"/* "$corpus"/
    echo "== $target: $budget from $(ls "$corpus" | wc -l) inputs"
    if "$build/fuzz/$target" "$corpus" "${limit[@]}" -timeout="${FUZZ_TIMEOUT:-2}" -rss_limit_mb=512 \
        -malloc_limit_mb=512 -report_slow_units=1 -print_final_stats=1 \
        -artifact_prefix="$artifacts/$target-" >"$work/$target.log" 2>&1; then
        echo passed >"$work/$target.result"
    else
        echo failed >"$work/$target.result"
    fi
}
for target in "${targets[@]}"; do
    if [ "${FUZZ_PARALLEL:-0}" = 1 ]; then run_target "$target" & else run_target "$target"; fi
done
wait

failed=()
for target in "${targets[@]}"; do
    log="$work/$target.log"
    if [ "$(cat "$work/$target.result")" = passed ]; then
        # One line a target: inputs run and their rate, the slowest one's
        # time, peak memory.
        awk -v target="$target" '
            /^stat::number_of_executed_units/ { runs = $NF }
            /^stat::average_exec_per_sec/ { rate = $NF }
            /^stat::slowest_unit_time_sec/ { slowest = $NF }
            /^stat::peak_rss_mb/ { rss = $NF }
            END { printf "%s: %s inputs (%s/s), slowest %s s, peak %s MB\n", target, runs, rate, slowest, rss }
        ' "$log"
    else
        tail -n 80 "$log"
        echo "== $target FAILED; the input is kept in $artifacts/"
        failed+=("$target")
    fi
done

if [ ${#failed[@]} -ne 0 ]; then
    echo "fuzzing failed: ${failed[*]}"
    exit 1
fi
echo "fuzzing passed: ${targets[*]}"
