#!/usr/bin/env bash
# The whole test suite built with clang under AddressSanitizer (leaks
# included) and UndefinedBehaviorSanitizer; any report fails the run.
#
# Usage: .ci/sanitize.sh   (build folder: build/asan)
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/deps.sh
need_packages cmake ninja-build libgtest-dev libgmock-dev
need_clang

export ASAN_OPTIONS=detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cmake -S . -B build/asan -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DSEQCONV_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build/asan -j2
ctest --test-dir build/asan --output-on-failure -j2
