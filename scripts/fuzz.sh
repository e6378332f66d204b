#!/usr/bin/env bash
# Builds one of the settings fuzzers with clang's libFuzzer (and AddressSanitizer,
# UndefinedBehaviorSanitizer) and runs it for a while: no crash, no leak, no hang.
# Usage: scripts/fuzz.sh settingsfile|credential [seconds] [build folder]
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
target=${1:?settingsfile or credential}
seconds=${2:-20}
out=${3:-$top/build-fuzz}
mkdir -p "$out"

case $target in
  settingsfile) sources=("$top/src/settings/settingsfile.cpp"); libraries=() ;;
  credential) sources=("$top/src/settings/credentialscrambling.cpp"); libraries=(-lcrypto) ;;
  *) echo "unknown fuzzer: $target" >&2; exit 2 ;;
esac

clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -I"$top/src" "$top/tests/settings/fuzz/${target}_fuzzer.cpp" "${sources[@]}" \
  "${libraries[@]}" -o "$out/${target}_fuzzer"

corpus=$(mktemp -d)
trap 'rm -rf "$corpus"' EXIT
printf '[Optionen]\r\nvideolaenge = 12abc\r\n; note\r\n' >"$corpus/plain"
printf '\xEF\xBB\xBF[optionen]\nsounddatei=/home/j\xC3\xBCrgen\n' >"$corpus/utf8"
printf 'AAECAwQFBgcICQoLDA0ODw==' >"$corpus/base64"

"$out/${target}_fuzzer" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 \
  -print_final_stats=1 "$corpus"
