#!/usr/bin/env bash
# The one test command: installs and builds everything, then runs every test
# (the Windows tests under Wine inside one Xvfb display, then the native
# checks of the portable code).
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
export BUILD=${BUILD:-$ROOT/build}
bash "$ROOT/scripts/deps.sh"
bash "$ROOT/scripts/configure.sh" "$BUILD"
xvfb-run -a -s "-screen 0 1024x768x24" bash "$ROOT/scripts/ctest-wine.sh" "$BUILD"
# The release: both bitnesses, the setup program and its install test.
bash "$ROOT/scripts/package.sh"
bash "$ROOT/tests/installer/install_test.sh" "$ROOT/dist" "$ROOT/build-release-x64/dockhost.exe"
if [ -x "$ROOT/scripts/test-native.sh" ] || [ -f "$ROOT/scripts/test-native.sh" ]; then
  bash "$ROOT/scripts/test-native.sh" "$ROOT/build-native"
fi
