#!/usr/bin/env bash
# Fails on a finding of clang-tidy (the checks that .clang-tidy names, every one an error) in the
# program's own sources, src/, compiled as a build compiles them: from the compile_commands.json
# of the build folder given, otherwise of build/ (scripts/build.sh), with two jobs.
# Usage: scripts/check-tidy.sh [BUILD_FOLDER]
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$top/build}
if [[ ! -f $build/compile_commands.json ]]; then
  echo "check-tidy: no $build/compile_commands.json: build first (scripts/build.sh)" >&2
  exit 1
fi

# Only src/: not the tests, nor what the build generates (moc's sources, the logo), which lies
# in the build folder. run-clang-tidy takes a regular expression of the paths.
pattern="^$(sed 's/[][\\.*^$+?(){}|]/\\&/g' <<<"$top")/src/"
status=0
output=$(run-clang-tidy -p "$build" -j 2 -quiet "$pattern" 2>&1) || status=$?
# Without its colours, its command lines and clang's counts of diagnostics.
output=$(sed 's/\x1b\[[0-9;]*m//g' <<<"$output")
checked=$(grep -c '^clang-tidy[-0-9]* ' <<<"$output" || true)
grep -v -e '^clang-tidy[-0-9]* ' -e '^[0-9]* warnings\? generated\.$' <<<"$output" || true
if ((checked == 0)); then
  echo "check-tidy: $build/compile_commands.json names no source of $top/src/" >&2
  exit 1
fi
if ((status != 0)); then
  echo "check-tidy: findings in $checked sources checked:" >&2
  grep -E '^/.*: (warning|error): ' <<<"$output" | sed "s|^$top/||; s/,-warnings-as-errors//" |
    sort -u >&2
  exit 1
fi
echo "clang-tidy finds nothing in the $checked sources of src/"
