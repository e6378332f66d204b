#!/usr/bin/env bash
# Fails on a misspelt English word (codespell) in the sources, tests, scripts and documents.
# The program's texts, its settings keys and some comments are German: the German words that
# codespell takes for misspelt English ones are listed in scripts/german-words.txt, each one
# looked at by hand. Escapes such as "\t" count as spaces, so that "\tthe" is not a word.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$top"
codespell --check-hidden --skip './.git,./build*' --ignore-words scripts/german-words.txt \
  --ignore-regex '\\[abfnrtv]' .
echo "no misspelt word"
