#!/usr/bin/env bash
# Installs what is missing (the tests' tools and peers too, whose system services it keeps
# stopped and disabled), builds Sentello and runs every test.
# With --sanitize: the same in a build with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$top/scripts/install-deps.sh" --tests
build_dir=$("$top/scripts/build.sh" "$@" | tail -n 1)
cd "$build_dir"
ctest --output-on-failure --no-tests=error -j "$(nproc)" --timeout 600
