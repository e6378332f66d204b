#!/usr/bin/env bash
# Fails when a source includes a header of a layer above its own, or when GStreamer is
# included outside the media layer. The layers, lowest first: settings, detection, then media
# and outputs side by side, then app.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$top/src"

declare -A allowed=(
  [settings]="settings"
  [detection]="detection settings"
  [media]="media detection settings"
  [outputs]="outputs detection settings"
  [app]="app media outputs detection settings"
)

status=0
for layer in "${!allowed[@]}"; do
  while IFS=: read -r file line include; do
    target=${include#*\"}
    target=${target%%/*}
    if [[ " ${allowed[$layer]} " != *" $target "* ]]; then
      echo "$file:$line: the $layer layer includes the $target layer: $include" >&2
      status=1
    fi
  done < <(grep -Hn '^#include "[a-z]*/' "$layer"/*.h "$layer"/*.cpp 2>/dev/null || true)
  if [[ $layer != media ]] && grep -Hn '^#include <gst/' "$layer"/*.h "$layer"/*.cpp 2>/dev/null; then
    echo "only the media layer includes GStreamer" >&2
    status=1
  fi
done
((status == 0)) && echo "every layer includes only the layers below it"
exit "$status"
