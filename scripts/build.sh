#!/usr/bin/env bash
# Installs what is missing and builds Sentello into build/; prints that folder last.
# With --sanitize: a build with AddressSanitizer and UndefinedBehaviorSanitizer (build-sanitize).
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

build_dir="$top/build"
options=()
if [[ ${1:-} == --sanitize ]]; then
  build_dir="$top/build-sanitize"
  options+=(-DSENTELLO_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug)
fi

"$top/scripts/install-deps.sh" >&2
cmake -S "$top" -B "$build_dir" "${options[@]}" >&2
cmake --build "$build_dir" -j "$(nproc)" >&2
echo "$build_dir"
