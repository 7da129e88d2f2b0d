#!/usr/bin/env bash
# Builds a fuzz target with clang (libFuzzer and AddressSanitizer, the plug-in instrumented
# too) and runs it over a scratch copy of its seed corpus. The ordinary builds replay the
# corpora under their sanitizers (fuzz_corpus_replay, fuzz_scene_corpus_replay).
#
#   scripts/fuzz.sh [--target instance_load|scene_load] [--seconds N | --runs N]
#                   [--jobs N] [--build-dir DIR] [-h | --help] [-- libFuzzer options...]
#
# instance_load (the default) loads bytes as a stored shader instance; scene_load reads
# them as a scene file. Without --seconds or --runs it runs until stopped. --jobs N runs N
# fuzzing processes side by side on one shared corpus (libFuzzer's -fork mode), each on a
# core; --runs then counts the executions of them all. Inputs that fail are written into
# the build directory as crash-* (or timeout-*, oom-*) files; replay one with
#   DIR/TARGET_fuzzer DIR/crash-...
set -euo pipefail
cd "$(dirname "$0")/.."

target="instance_load"
seconds=""
runs=""
jobs=1
build="build-fuzz"
extra=()
while [ $# -gt 0 ]; do
  case "$1" in
    --target) target=$2; shift 2 ;;
    --seconds) seconds=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --jobs) jobs=$2; shift 2 ;;
    --build-dir) build=$2; shift 2 ;;
    --) shift; extra=("$@"); break ;;
    -h|--help) sed -n '2,/^set -euo/p' "$0" | sed '$d' | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "unknown option $1 (see --help)" >&2; exit 2 ;;
  esac
done
case "$target" in
  instance_load) corpus=tests/fuzz/corpus; max_len=16384 ;;
  scene_load) corpus=tests/fuzz/scene_corpus; max_len=16384 ;;
  *) echo "unknown target $target (instance_load or scene_load)" >&2; exit 2 ;;
esac

if ! command -v clang++ > /dev/null; then
  echo "clang++ is needed for fuzzing" >&2
  exit 1
fi

mkdir -p "$build"
if [ ! -f "$build/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O1 -gline-tables-only" -DCMAKE_C_FLAGS_RELEASE="-O1 -gline-tables-only" -DORMEL_FUZZ=ON -DORMEL_BUILD_TESTS=OFF -DORMEL_BUILD_BENCH=OFF \
    -DORMEL_SANITIZE=address \
    -DCMAKE_C_FLAGS=-fsanitize=fuzzer-no-link -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link \
    > "$build/configure.log" 2>&1 || { cat "$build/configure.log"; exit 1; }
fi
cmake --build "$build" -j 2 --target "${target}_fuzzer" > "$build/build.log" 2>&1 || {
  tail -50 "$build/build.log"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$corpus"/* "$work"/

# AddressSanitizer as fast as it goes while still finding every bad access: no allocation
# stack traces, no fill of new blocks, a small quarantine. Leaks are still looked for.
export ASAN_OPTIONS="${ASAN_OPTIONS:-malloc_context_size=0:max_malloc_fill_size=0:quarantine_size_mb=16}"
args=("-max_len=$max_len" -timeout=20 -rss_limit_mb=2048 "-artifact_prefix=$build/" -print_final_stats=1)
[ -n "$seconds" ] && args+=("-max_total_time=$seconds")
[ -n "$runs" ] && args+=("-runs=$runs")
[ "$jobs" -gt 1 ] && args+=("-fork=$jobs" -ignore_crashes=0)
"$build/${target}_fuzzer" "${args[@]}" "${extra[@]}" "$work"
