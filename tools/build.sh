#!/usr/bin/env bash
# Configures and builds the release tree in build/: tools/build.sh [-DOPTION=VALUE...] [TARGET...]
# (no target: everything, the tests too; "vellumark": the executable alone).
set -euo pipefail
cd "$(dirname "$0")/.."
configure=()
targets=()
for arg in "$@"; do
  case $arg in
    -D*) configure+=("$arg") ;;
    *) targets+=(--target "$arg") ;;
  esac
done
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${configure[@]}" >/dev/null
cmake --build build "${targets[@]}"
