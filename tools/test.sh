#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test headless:
#   1. the release build and its test suite,
#   2. the same suite built with clang under AddressSanitizer + UndefinedBehaviorSanitizer,
#   3. each fuzz target for a short while (VK_FUZZ_SECONDS, default 10).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh

export SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy LIBGL_ALWAYS_SOFTWARE=1 EGL_PLATFORM=surfaceless
# GL tests fail here instead of skipping where no OpenGL can be had.
export VK_REQUIRE_GL=1
jobs=$(nproc)

echo "== release build"
tools/build.sh
(cd build && ctest --no-tests=error --output-on-failure -j "$jobs") | tee build/ctest.log | grep -vE '^ *(Start|[0-9]+/[0-9]+ Test)' 

echo "== sanitizer build"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
CC=clang CXX=clang++ cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVK_SANITIZE=ON -DVK_FUZZ=ON >/dev/null
cmake --build build-asan
(cd build-asan && ctest --no-tests=error --output-on-failure -j "$jobs") | tee build-asan/ctest.log | grep -vE '^ *(Start|[0-9]+/[0-9]+ Test)' 

echo "== fuzzing"
secs=${VK_FUZZ_SECONDS:-10}
mkdir -p build-asan/fuzz-corpus
for f in build-asan/tests/fuzz_*; do
  [[ -x "$f" ]] || continue
  name=$(basename "$f")
  corpus=build-asan/fuzz-corpus/$name
  mkdir -p "$corpus"
  seeds=tests/fuzz/seeds/${name#fuzz_}
  echo "-- $name (${secs}s)"
  "$f" -max_total_time="$secs" -timeout=10 -rss_limit_mb=4096 -print_final_stats=0 "$corpus" $( [[ -d $seeds ]] && echo "$seeds" ) 2>&1 | tail -n 3
done
count() { grep -oE 'out of [0-9]+' "$1" | tail -1 | grep -oE '[0-9]+'; }
echo "suite: $(( $(count build/ctest.log) + $(count build-asan/ctest.log) )) passed, 0 failed"
