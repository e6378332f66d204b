#!/usr/bin/env bash
# Prints the packages of the named sections of scripts/debian-packages.txt, one a line, in the
# list's order: build (building and running Sentello), tests (tests, fuzzing, benchmarks), peers
# (programs the tests measure against that come as system services).
# Usage: scripts/list-packages.sh SECTION...
set -euo pipefail
list=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/debian-packages.txt
sections=(build tests peers)

fail() {
  echo "$*" >&2
  exit 2
}

(($# > 0)) || fail "usage: $0 ${sections[*]}..."
for wanted; do
  [[ " ${sections[*]} " == *" $wanted "* ]] || fail "unknown section: $wanted"
done

section=
number=0
while IFS= read -r line || [[ -n $line ]]; do
  ((++number))
  line=${line%"${line##*[![:space:]]}"}
  [[ -z $line || $line == \#* ]] && continue
  if [[ $line =~ ^\[(.*)\]$ ]]; then
    section=${BASH_REMATCH[1]}
    [[ " ${sections[*]} " == *" $section "* ]] || fail "$list:$number: unknown section [$section]"
    continue
  fi
  [[ -n $section ]] || fail "$list:$number: $line stands before the first section"
  [[ $line =~ ^[a-z0-9][a-z0-9+.-]+$ ]] || fail "$list:$number: not a package name: $line"
  if [[ " $* " == *" $section "* ]]; then
    echo "$line"
  fi
done <"$list"
