#!/usr/bin/env bash
# Installs what is missing, builds Sentello and runs every test.
# With --sanitize: the same in a build with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=$("$top/scripts/build.sh" "$@" | tail -n 1)
cd "$build_dir"
ctest --output-on-failure -j "$(nproc)" --timeout 600
