#!/usr/bin/env bash
# The web page tested for real: builds it (web/build.sh), builds the program
# it is compared with and seqtool, whose info the page's account of each song
# must match, and runs web/tests/ with Node's test runner: the page in
# headless Chromium (Debian's chromium, driven by playwright-core from npm),
# its command-line twin against the program, and what the page tells and
# draws of each song.
#
# Usage: .ci/web.sh   (build folders: build/web, build/test)
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/deps.sh
need_packages cmake g++ ninja-build libgtest-dev libgmock-dev
# playwright-core drives the system's Chromium; it brings no browser.
need_packages --no-install-recommends chromium chromium-driver
# Node.js and npm come with this machine class; Debian's serve where they don't.
command -v npm >/dev/null || need_packages nodejs npm

bash web/build.sh
cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/test --target seqconv seqtool
(cd web && npm ci --no-audit --no-fund --loglevel=error && npm test)
