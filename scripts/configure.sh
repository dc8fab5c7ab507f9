#!/usr/bin/env bash
# Configures and builds the cross build into $1 (default: build).
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build}
CACHE=${POSTWARDEN_CACHE:-$HOME/.cache/postwarden}
cmake -S "$ROOT" -B "$BUILD" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" \
  -DPW_DEPS_FILE="$CACHE/deps.cmake" >/dev/null
cmake --build "$BUILD" -j"$(nproc)"
