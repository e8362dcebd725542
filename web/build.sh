#!/usr/bin/env bash
# Builds the web page: the core compiled to WebAssembly with Emscripten
# (Debian's emscripten, installed when missing), and the page around it, in
# build/web/page. Open build/web/page/index.html, or publish the folder as it
# is on any static server. web/seqconv.mjs, the command-line twin, uses
# build/web/seqconv-wasm.js.
#
# Usage: web/build.sh   (build folder: build/web)
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/deps.sh
need_packages cmake ninja-build
# Without recommends: the compiler needs neither numpy nor d3.
need_packages --no-install-recommends emscripten

cmake -S . -B build/web -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/emscripten.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/web
echo "build/web/page/index.html"
