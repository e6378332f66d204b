#!/usr/bin/env bash
# Installs what is missing, builds Sentello and starts it with the built-in demo camera.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$top/scripts/build.sh" >/dev/null  # progress goes to stderr
exec "$top/build/src/sentello" --demo "$@"
