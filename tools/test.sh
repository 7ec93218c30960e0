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
# A temporary folder of the suite's own with a long path: a test that leans on a short one fails
# here. Others may pass through it but not list it: tests that act as another user (nobody) reach
# their folders inside.
export TMPDIR
TMPDIR=$(mktemp -d /tmp/vellumark-tests-a-temporary-folder-with-a-long-path-XXXXXXXX)
chmod 711 "$TMPDIR"
trap 'rm -rf "$TMPDIR"' EXIT
# GL tests fail here instead of skipping where no OpenGL can be had.
export VK_REQUIRE_GL=1
jobs=$(nproc)

# Every test binary whole, in a shuffled order (the release build twice over): a test that leans on state
# another left behind, or a subsystem whose reset misses something, fails here. The binaries run side by side.
shuffled() {
  local logs=$1/shuffled
  rm -rf "$logs" && mkdir -p "$logs"
  for dir in tests/*/; do
    t=$1/tests/test_$(basename "$dir")
    [[ -x $t ]] && echo "$t"
  done | xargs -P "$jobs" -I{} sh -c \
    '"$1" --gtest_shuffle --gtest_repeat="$2" >"$3/$(basename "$1").log" 2>&1 || echo "$1" >>"$3/failed"' _ {} "$2" "$logs"
  [[ -s $logs/failed ]] || return 0
  for t in $(cat "$logs/failed"); do
    grep -E '^\[  FAILED|Failure|Randomizing' "$logs/$(basename "$t").log" | head -n 20
    echo "$t failed shuffled and repeated"
  done
  return 1
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
(cd build-asan && ctest --no-tests=error --output-on-failure -j "$jobs") | tee build-asan/ctest.log | grep -vE '^ *(Start|[0-9]+/[0-9]+ Test)' 
shuffled build-asan 1

echo "== thread sanitizer: the sound engine's threads ($(date +%T))"
CC=clang CXX=clang++ cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVK_TESTS=OFF -DVK_SOUND_TSAN=ON >/dev/null
cmake --build build-tsan --target test_sound_tsan
TSAN_OPTIONS=halt_on_error=1 build-tsan/test_sound_tsan --gtest_brief=1

echo "== fuzzing ($(date +%T))"
secs=${VK_FUZZ_SECONDS:-10}
mkdir -p build-asan/fuzz-corpus build-asan/fuzz-logs
# Each target alone in its process, a few side by side; each one's last lines are shown in turn.
fuzz_one() {
  name=$(basename "$1")
  corpus=build-asan/fuzz-corpus/$name
  mkdir -p "$corpus"
  seeds=tests/fuzz/seeds/${name#fuzz_}
  "$1" -max_total_time="$2" -timeout=10 -rss_limit_mb=4096 -print_final_stats=0 "$corpus" \
    $( [[ -d $seeds ]] && echo "$seeds" ) >"build-asan/fuzz-logs/$name.log" 2>&1
  status=$?
  { echo "-- $name (${2}s)"; tail -n 3 "build-asan/fuzz-logs/$name.log"; } >"build-asan/fuzz-logs/$name.tail"
  return $status
}
export -f fuzz_one
for f in build-asan/tests/fuzz_*; do [[ -x $f ]] && echo "$f"; done | xargs -P "$(( jobs < 4 ? jobs : 4 ))" -I{} bash -c 'fuzz_one "$1" "$2"' _ {} "$secs" || fuzz_failed=1
cat build-asan/fuzz-logs/*.tail
[[ -z ${fuzz_failed:-} ]] || { echo "a fuzz target found a fault"; exit 1; }
# ctest counts a skipped test among those that did not fail: it is told apart here.
total() { grep -oE 'out of [0-9]+' "$1" | tail -1 | grep -oE '[0-9]+'; }
skipped() { grep -cE '\(Skipped\)$' "$1" || true; }
all=$(( $(total build/ctest.log) + $(total build-asan/ctest.log) ))
skips=$(( $(skipped build/ctest.log) + $(skipped build-asan/ctest.log) ))
echo "suite: $(( all - skips )) passed, $skips skipped, 0 failed"
