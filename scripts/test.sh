#!/usr/bin/env bash
# Installs what is needed, then builds and runs every test in three configurations:
# a plain build, AddressSanitizer with UndefinedBehaviorSanitizer, and ThreadSanitizer
# for the multi-threaded tests.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

jobs=$(nproc)
run_config() {
  local dir=$1; shift
  local filter=$1; shift
  cmake -S . -B "$dir" -G Ninja -DORMEL_WERROR=ON "$@" > "$dir.configure.log" 2>&1 || {
    cat "$dir.configure.log"; exit 1; }
  cmake --build "$dir" -j "$jobs"
  if [ -n "$filter" ]; then
    ctest --test-dir "$dir" -j "$jobs" --output-on-failure -R "$filter"
  else
    ctest --test-dir "$dir" -j "$jobs" --output-on-failure
  fi
}

mkdir -p build
run_config build/release "" -DCMAKE_BUILD_TYPE=RelWithDebInfo
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  run_config build/asan "" -DCMAKE_BUILD_TYPE=Debug -DORMEL_SANITIZE=address,undefined -DORMEL_BUILD_BENCH=OFF
TSAN_OPTIONS=halt_on_error=1 \
  # Multi-threaded tests carry "Thread" in their names.
TSAN_OPTIONS=halt_on_error=1 \
  run_config build/tsan "Thread" -DCMAKE_BUILD_TYPE=Debug -DORMEL_SANITIZE=thread -DORMEL_BUILD_BENCH=OFF
echo "all test configurations passed"
