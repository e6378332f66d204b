#!/usr/bin/env bash
# Fails when a C++ source of the project is not formatted as the repository's .clang-format says.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$top"
find src tests bench -name '*.cpp' -o -name '*.h' | sort | xargs clang-format --dry-run --Werror
echo "every source is formatted"
