#!/usr/bin/env bash
# Configures and builds the cross build into $1 (default: build).
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build}
CACHE=${POSTWARDEN_CACHE:-$HOME/.cache/postwarden}
# ccache, where the machine has it, shares objects between checkouts.
LAUNCHER=()
if command -v ccache >/dev/null; then
  L="env;CCACHE_BASEDIR=$ROOT;ccache"
  LAUNCHER=(-DCMAKE_C_COMPILER_LAUNCHER="$L" -DCMAKE_CXX_COMPILER_LAUNCHER="$L")
fi
cmake -S "$ROOT" -B "$BUILD" -G Ninja "${LAUNCHER[@]}" \
  -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" \
  -DPW_DEPS_FILE="$CACHE/deps.cmake" >/dev/null
cmake --build "$BUILD" -j"$(nproc)"
