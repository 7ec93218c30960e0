#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test headless:
#   1. the release build with the benchmarks and tools, its test suite, every test binary
#      shuffled and repeated, and the font generator against data/system_font.bin,
#   2. the same suite built with clang under AddressSanitizer + UndefinedBehaviorSanitizer,
#      also shuffled,
#   3. the sound engine's threaded tests under ThreadSanitizer,
#   4. each fuzz target for a short while (VK_FUZZ_SECONDS, default 10).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh

export SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy LIBGL_ALWAYS_SOFTWARE=1 EGL_PLATFORM=surfaceless
# GL tests fail here instead of skipping where no OpenGL can be had.
export VK_REQUIRE_GL=1
jobs=$(nproc)

# Every test binary whole, in a shuffled order (the release build twice over): a test that leans on state
# another left behind, or a subsystem whose reset misses something, fails here.
shuffled() {
  for dir in tests/*/; do
    t=$1/tests/test_$(basename "$dir")
    [[ -x $t ]] || continue
    "$t" --gtest_shuffle --gtest_repeat="$2" >"$1/shuffled.log" 2>&1 || {
      grep -E '^\[  FAILED|Failure|Randomizing' "$1/shuffled.log" | head -n 20
      echo "$t failed shuffled and repeated"
      return 1
    }
  done
}

echo "== release build, benchmarks and tools ($(date +%T))"
tools/build.sh -DVK_BENCH=ON
(cd build && ctest --no-tests=error --output-on-failure -j "$jobs") | tee build/ctest.log | grep -vE '^ *(Start|[0-9]+/[0-9]+ Test)' 
shuffled build 2
build/tools/gen_system_font /usr/share/fonts/truetype/dejavu/DejaVuSansMono-Bold.ttf build/system_font.bin
cmp build/system_font.bin data/system_font.bin

echo "== sanitizer build ($(date +%T))"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
CC=clang CXX=clang++ cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVK_SANITIZE=ON -DVK_FUZZ=ON >/dev/null
cmake --build build-asan
# A test is run a second time only when the first run fails: the leak checker's own tracer can
# crash at exit under heavy load (while Mesa's threads wind down) after the test has passed.
(cd build-asan && ctest --no-tests=error --output-on-failure -j "$jobs" --repeat until-pass:2) | tee build-asan/ctest.log | grep -vE '^ *(Start|[0-9]+/[0-9]+ Test)' 
shuffled build-asan 1

echo "== thread sanitizer: the sound engine's threads ($(date +%T))"
CC=clang CXX=clang++ cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVK_TESTS=OFF -DVK_SOUND_TSAN=ON >/dev/null
cmake --build build-tsan --target test_sound_tsan
TSAN_OPTIONS=halt_on_error=1 build-tsan/test_sound_tsan --gtest_brief=1

echo "== fuzzing ($(date +%T))"
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
