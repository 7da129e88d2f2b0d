#!/usr/bin/env bash
# Builds the instance load fuzzer with clang (libFuzzer and AddressSanitizer, the plug-in
# instrumented too) and runs it over a scratch copy of the seed corpus in tests/fuzz/corpus.
# The ordinary builds replay the corpus under both sanitizers (fuzz_corpus_replay).
#
#   scripts/fuzz.sh [--seconds N | --runs N] [--build-dir DIR] [-- libFuzzer options...]
#
# Without --seconds or --runs it runs until stopped. Inputs that crash are written into
# the build directory as crash-* files; replay one with
#   DIR/instance_load_fuzzer DIR/crash-...
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=""
runs=""
build="build-fuzz"
extra=()
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) seconds=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --build-dir) build=$2; shift 2 ;;
    --) shift; extra=("$@"); break ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done

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
cmake --build "$build" -j 2 --target instance_load_fuzzer > "$build/build.log" 2>&1 || {
  tail -50 "$build/build.log"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp tests/fuzz/corpus/* "$work"/

args=(-max_len=16384 -timeout=20 -rss_limit_mb=4096 "-artifact_prefix=$build/")
[ -n "$seconds" ] && args+=("-max_total_time=$seconds")
[ -n "$runs" ] && args+=("-runs=$runs")
"$build/instance_load_fuzzer" "${args[@]}" "${extra[@]}" "$work"
