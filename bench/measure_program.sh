#!/usr/bin/env bash
# Peak memory and time of the release seqconv converting a 1 MiB Standard
# MIDI File (the one the benchmarks build), measured with /usr/bin/time -v.
#
# Usage: bench/measure_program.sh [BUILD_DIR] [SIZE_IN_BYTES]
#        BUILD_DIR defaults to build/release, configured and built if needed.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
size=${2:-1048576}

. tools/deps.sh
need_packages time cmake g++ ninja-build
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" -j2 --target seqconv seqconv_large_smf >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bench/seqconv_large_smf" "$work/large.mid" "$size"
/usr/bin/time -v "$build/seqconv" "$work/large.mid" 2>"$work/time.txt"
echo "input:  $(stat -c %s "$work/large.mid") bytes"
echo "output: $(stat -c %s "$work/large.mid.mid") bytes"
grep -E 'Elapsed \(wall clock\)|Maximum resident set size' "$work/time.txt" | sed 's/^[[:space:]]*//'
