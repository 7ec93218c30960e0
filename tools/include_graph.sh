#!/usr/bin/env bash
# Prints which source folder includes which, as "from -> to (number of includes)".
cd "$(dirname "$0")/.." || exit 1
git ls-files '*.cpp' '*.h' | grep -vE '^(tests|bench|tools|examples)/' | while read -r f; do
  from=${f%%/*}
  grep -hoE '^#include "[a-z0-9_]+/' "$f" | sed -E 's/#include "([a-z0-9_]+)\//\1/' | while read -r to; do
    [[ $to != "$from" ]] && echo "$from -> $to"
  done
done | sort | uniq -c | awk '{print $2, $3, $4, "(" $1 ")"}'
