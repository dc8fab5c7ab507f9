#!/usr/bin/env bash
# Runs CTest of the cross build with one Wine server for the whole run.
set -uo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
export BUILD=$(realpath -m "${1:-$ROOT/build}")
source "$ROOT/scripts/wine-env.sh"
wine_up
ctest --test-dir "$BUILD" --output-on-failure -j2 --timeout 300 "${@:2}"
rc=$?
wine_down
exit $rc
