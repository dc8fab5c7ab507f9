#!/usr/bin/env bash
# Runs dockhost.exe with the plug-in for SECONDS (default 20) under Wine,
# inside the current display. Used by run.sh.
set -uo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
export BUILD=${BUILD:-$ROOT/build}
SECONDS_TO_RUN=${1:-20}
shift || true
source "$ROOT/scripts/wine-env.sh"
wine_up
cd "$BUILD"
wine dockhost.exe --settings postwarden-settings.dat --run "$SECONDS_TO_RUN" --print --save --verbose "$@"
rc=$?
wine_down
exit $rc
