#!/usr/bin/env bash
# Writes host_calls.txt (beside this script) anew, after a deliberate change, once the new
# sequence has passed the check against the stored one: every spot whose calls changed must
# begin to differ at a ray whose hit lies within the caster's self-hit tolerance of an edge
# two polygons share (a tie the acceleration structure may decide either way), and nothing
# else may change. See tests/render/host_calls_test.cpp.
#   bash tests/render/data/regenerate_host_calls.sh [BUILD_DIR]    (default build/release)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build/release}
[ -x "$build/render_integration_tests" ] || { echo "no $build/render_integration_tests: build it first" >&2; exit 1; }
# The test finds the stored file from its source path, relative to the build directory.
cd "$build"
tests=./render_integration_tests

before=$(mktemp)
trap 'rm -f "$before"' EXIT
cp "$here/host_calls.txt" "$before"
ORMEL_HOST_CALLS_BEFORE="$before" "$tests" --gtest_filter='HostCalls.ChangesFromTheStoredSequenceAreEdgeTies'
ORMEL_WRITE_HOST_CALLS=1 "$tests" --gtest_filter='HostCalls.ShadingAFewSpotsMakesTheStoredSequenceOfHostCalls'
"$tests" --gtest_filter='HostCalls.*'
git -C "$here" diff --stat -- host_calls.txt || true
