#!/usr/bin/env bash
# Cross-compiles the Windows console programs, build/windows/seqconv.exe and
# build/windows/seqtool.exe:
# 64-bit, MinGW-w64, the compiler's runtime linked in, so it is one file that
# needs no DLL beside it. A compiler warning fails the build: this is where
# the 32-bit `long` of Windows shows.
#
# Usage: tools/build_windows.sh   (build folder: build/windows)
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/deps.sh
need_packages cmake ninja-build
need_packages --no-install-recommends g++-mingw-w64-x86-64-posix

cmake -S . -B build/windows -G Ninja --no-warn-unused-cli -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
cmake --build build/windows --target seqconv seqtool

# Only the system's own DLLs may be imported.
for program in seqconv seqtool; do
    imports=$(x86_64-w64-mingw32-objdump -p build/windows/$program.exe | sed -n 's/^[[:space:]]*DLL Name: //p')
    others=$(printf '%s\n' "$imports" | grep -viE '^(kernel32|msvcrt)\.dll$' || true)
    if [ -n "$others" ]; then
        echo "$program.exe needs DLLs that Windows does not have: $others" >&2
        exit 1
    fi
    echo "build/windows/$program.exe (imports: $(echo $imports))"
done
