#!/usr/bin/env bash
# Installs what building and running Sentello needs and is missing, and builds Sentello into
# build/ with warnings as errors; prints that folder last.
# With --sanitize: a build with AddressSanitizer and UndefinedBehaviorSanitizer (build-sanitize).
# With --release: an optimised build without debugging information (build-release).
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

build_dir="$top/build"
options=(-DSENTELLO_WERROR=ON)
case ${1:-} in
  "") ;;
  --sanitize)
    build_dir="$top/build-sanitize"
    options+=(-DSENTELLO_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug)
    ;;
  --release)
    build_dir="$top/build-release"
    options+=(-DCMAKE_BUILD_TYPE=Release)
    ;;
  *)
    echo "usage: $0 [--sanitize | --release]" >&2
    exit 2
    ;;
esac

"$top/scripts/install-deps.sh" >&2
cmake -S "$top" -B "$build_dir" "${options[@]}" >&2
cmake --build "$build_dir" -j "$(nproc)" >&2
echo "$build_dir"
