#!/usr/bin/env bash
# Installs the build and test dependencies from Debian's packages. Idempotent: does
# nothing when every package is already there.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libembree-dev libassimp-dev nlohmann-json3-dev libpng-dev libopenexr-dev openexr
  clang libclang-rt-14-dev
  g++-mingw-w64-x86-64-posix googletest wine64
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
# Optional: real LightWave objects for the renderer's tests (skipped when absent).
$SUDO apt-get install -y -qq --no-install-recommends assimp-testmodels || true
