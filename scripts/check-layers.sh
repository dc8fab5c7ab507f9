#!/usr/bin/env bash
# Fails when a file under src/ includes from a room above its own. Rooms, top
# to bottom; a room may include its own headers and those of rooms below it.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOMS=(core ui filter account mail mime net regex image base)
rank() { local i; for i in "${!ROOMS[@]}"; do [ "${ROOMS[$i]}" = "$1" ] && { echo "$i"; return; }; done; echo -1; }

bad=0
while IFS=: read -r file line text; do
  room=${file#src/}; room=${room%%/*}
  target=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^/"]+)\/.*/\1/' <<<"$text")
  [ "$target" = "$text" ] && continue          # no folder: same folder or res/
  to=$(rank "$target"); from=$(rank "$room")
  [ "$to" -lt 0 ] && continue                  # not a room (the host contract in include/)
  if [ "$from" -lt 0 ] || [ "$to" -lt "$from" ]; then
    echo "$file:$line: $room/ includes $target/, a room above it" >&2
    bad=1
  fi
done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' src)
[ "$bad" = 0 ] && echo "layers: no file under src/ includes upward"
exit "$bad"
