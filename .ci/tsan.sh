#!/usr/bin/env bash
# The tests of what runs on several threads, built with clang under
# ThreadSanitizer: the worker pool, one const song read by several threads,
# large files read and written on a pool, and the program's batch (the
# command-line tests); any report fails the run.
#
# Usage: .ci/tsan.sh   (build folder: build/tsan)
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/deps.sh
need_packages cmake ninja-build libgtest-dev libgmock-dev
need_clang

export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
cmake -S . -B build/tsan -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DSEQCONV_TSAN=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DSEQCONV_TOOLS=OFF >/dev/null
cmake --build build/tsan -j2 --target seqconv seqtool seqconv_unit_tests seqconv_cli_tests seqtool_cli_tests
ctest --test-dir build/tsan --output-on-failure -j2 \
    -R '^(ForEachIndex|WorkersTask|ConstSong|ParallelRead|ParallelWrite|ShortEventWrite|Cli|Tool)\.'
