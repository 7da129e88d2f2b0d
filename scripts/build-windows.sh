#!/usr/bin/env bash
# Cross-builds the plug-in for 64-bit Windows with Debian's mingw-w64 (posix threads):
# writes build/windows/Ormel_Dirt.p, with the host library and the Windows tests beside it
# (run them under Wine with: ctest --test-dir build/windows). Extra arguments go to the
# configure step (e.g. -DORMEL_BUILD_TESTS=OFF for the plug-in alone).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
build=build/windows
mkdir -p "$build"
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORMEL_WERROR=ON "$@" > "$build/configure.log" 2>&1 || {
  cat "$build/configure.log"; exit 1; }
cmake --build "$build" -j "$(nproc)"
echo "wrote $build/Ormel_Dirt.p"
