#!/usr/bin/env bash
# Configures and builds the cross build into $1 (default: build), for 64-bit
# Windows or, with x86 as $2, for 32-bit Windows (extra cmake options may follow).
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build}
ARCH=${2:-x64}
case "$ARCH" in
  x64) TOOLCHAIN=mingw-w64.cmake; DEPS_FILE=deps.cmake ;;
  x86) TOOLCHAIN=mingw-w64-i686.cmake; DEPS_FILE=deps-x86.cmake ;;
  *) echo "usage: configure.sh [build-dir] [x64|x86] [cmake options]" >&2; exit 2 ;;
esac
CACHE=${POSTWARDEN_CACHE:-$HOME/.cache/postwarden}
# ccache, where the machine has it, shares objects between checkouts.
LAUNCHER=()
if command -v ccache >/dev/null; then
  L="env;CCACHE_BASEDIR=$ROOT;ccache"
  LAUNCHER=(-DCMAKE_C_COMPILER_LAUNCHER="$L" -DCMAKE_CXX_COMPILER_LAUNCHER="$L")
fi
cmake -S "$ROOT" -B "$BUILD" -G Ninja "${LAUNCHER[@]}" \
  -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/$TOOLCHAIN" \
  -DPW_DEPS_FILE="$CACHE/$DEPS_FILE" "${@:3}" >/dev/null
cmake --build "$BUILD" -j"$(nproc)"
