#!/usr/bin/env bash
# Installs what is needed, builds the plug-in and dirt-render, and renders the built-in
# demo scene to dirt.png (extra arguments go to dirt-render, e.g. --compare).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORMEL_BUILD_TESTS=OFF \
  -DORMEL_BUILD_BENCH=OFF > build-demo.configure.log 2>&1 || { cat build-demo.configure.log; exit 1; }
rm -f build-demo.configure.log
cmake --build build/release -j "$(nproc)" --target dirt-render Ormel_Dirt
build/release/dirt-render -o dirt.png "$@"
