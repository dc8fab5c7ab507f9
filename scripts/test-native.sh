#!/usr/bin/env bash
# Native checks of the regular-expression engine (unit tests, the PCRE2
# differential test, a short libFuzzer run) and of the header and MIME
# readers (a short libFuzzer run), built with the host compiler.
# Usage: scripts/test-native.sh [build-dir]   (default: build-native; the
# MIME checks build in <build-dir>-mime)
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-build-native}

as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

# clang's libFuzzer runtime comes with libclang-rt-14-dev on Debian 12.
PACKAGES=(cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev libpcre2-dev pkg-config)
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "test-native: installing ${missing[*]}"
  # Another apt or dpkg may hold the lock; wait for it rather than fail.
  for _ in $(seq 1 60); do
    if as_root env DEBIAN_FRONTEND=noninteractive apt-get update -qq 2>/dev/null &&
       as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
         "${missing[@]}" >/dev/null; then
      break
    fi
    sleep 10
  done
  for p in "${missing[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' ||
      { echo "test-native: could not install $p" >&2; exit 1; }
  done
fi

cmake -S "$ROOT/tests/regex/native" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" -j2
(cd "$BUILD" && ctest --output-on-failure)

cmake -S "$ROOT/tests/mime/native" -B "$BUILD-mime" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD-mime" -j2
(cd "$BUILD-mime" && ctest --output-on-failure)
