#!/usr/bin/env bash
# The main job: builds everything, then runs the plug-in inside the stand-in
# toolbar host (dockhost.exe) under Wine for a while, showing its button and
# printing its state. The settings stream is kept in the build folder, so a
# second run starts where the first left off.
#   scripts/run.sh [SECONDS] [extra dockhost options]
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
export BUILD=${BUILD:-$ROOT/build}
bash "$ROOT/scripts/deps.sh"
bash "$ROOT/scripts/configure.sh" "$BUILD"
if [ -n "${DISPLAY:-}" ]; then
  exec bash "$ROOT/scripts/run-host.sh" "$@"
fi
exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$ROOT/scripts/run-host.sh" "$@"
