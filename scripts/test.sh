#!/usr/bin/env bash
# Installs what is needed, then builds and runs every test in four configurations: a plain
# build, AddressSanitizer with UndefinedBehaviorSanitizer, ThreadSanitizer for the
# multi-threaded tests, and the Windows x64 build (mingw-w64) with its tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

jobs=$(nproc)
# Each configuration turns its tests on whatever an earlier configure left in the cache,
# and a configuration that runs no test fails.
run_config() {
  local dir=$1; shift
  local filter=$1; shift
  mkdir -p "$dir"
  cmake -S . -B "$dir" -G Ninja -DORMEL_WERROR=ON -DORMEL_BUILD_TESTS=ON "$@" > "$dir.configure.log" 2>&1 || {
    cat "$dir.configure.log"; exit 1; }
  cmake --build "$dir" -j "$jobs"
  local select=()
  [ -n "$filter" ] && select=(-R "$filter")
  ctest --test-dir "$dir" -j "$jobs" --output-on-failure --no-tests=error "${select[@]}"
}

start=$SECONDS
run_config build/release "" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORMEL_RENDERER=ON -DORMEL_BUILD_BENCH=ON
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  run_config build/asan "" -DCMAKE_BUILD_TYPE=Debug -DORMEL_SANITIZE=address,undefined -DORMEL_RENDERER=ON \
  -DORMEL_BUILD_BENCH=OFF
# Multi-threaded tests carry "Thread" in their names.
TSAN_OPTIONS=halt_on_error=1 \
  run_config build/tsan "Thread" -DCMAKE_BUILD_TYPE=Debug -DORMEL_SANITIZE=thread -DORMEL_RENDERER=ON \
  -DORMEL_BUILD_BENCH=OFF
# The Windows plug-in and its tests; the Wine server of the build's prefix is stopped after.
trap '[ -x build/windows/wine-run.sh ] && build/windows/wine-run.sh --stop' EXIT
run_config build/windows "" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo
echo "all test configurations passed in $((SECONDS - start)) s"
