#!/usr/bin/env bash
# Builds seqconv with its tests and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/deps.sh
need_packages cmake g++ ninja-build libgtest-dev libgmock-dev pkg-config

cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/test
ctest --test-dir build/test --output-on-failure -j2
