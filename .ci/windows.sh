#!/usr/bin/env bash
# The Windows programs tested for real: builds seqconv.exe and seqtool.exe
# with the MinGW-w64 cross compiler and runs the command-line test suites
# against them under Wine,
# in one Wine prefix made for this run and removed after it.
#
# Usage: .ci/windows.sh   (builds build/windows and the test runner in build/test)
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/deps.sh
need_packages cmake g++ ninja-build libgtest-dev libgmock-dev
# wine64 alone runs 64-bit programs; no i386 architecture, no recommended extras.
need_packages --no-install-recommends wine wine64

bash tools/build_windows.sh
# The suite's runner is a Linux program; it starts seqconv.exe through wine.
cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/test --target seqconv_cli_tests seqtool_cli_tests

prefix_root=$(mktemp -d)
export WINEPREFIX="$prefix_root/wine" WINEDEBUG=-all
# Wine takes Unix names and arguments in the locale's character set.
export LC_ALL=C.UTF-8
cleanup() {
    wineserver -k 2>/dev/null && wineserver -w 2>/dev/null || true
    rm -rf "$prefix_root"
}
trap cleanup EXIT

# A server kept running, with the services the prefix's first start leaves
# behind, makes every later start take milliseconds. That first start takes
# seconds; without the .NET and HTML runtimes, which a console program does
# not use, it asks for nothing.
mkdir "$WINEPREFIX"
wineserver -p
WINEDLLOVERRIDES="mscoree,mshtml=" wineboot --init >/dev/null 2>&1

export SEQCONV_LAUNCHER=wine
SEQCONV_PROGRAM="$PWD/build/windows/seqconv.exe" build/test/tests/seqconv_cli_tests
SEQCONV_PROGRAM="$PWD/build/windows/seqconv.exe" SEQTOOL_PROGRAM="$PWD/build/windows/seqtool.exe" \
    build/test/tests/seqtool_cli_tests
