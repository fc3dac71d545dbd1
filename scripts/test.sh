#!/usr/bin/env bash
# Builds Fadecrest and passes every test: the sources' format, the suite in the release build and
# again under AddressSanitizer + UndefinedBehaviorSanitizer, the Windows DLL and its tests under
# Wine, the concurrency tests under ThreadSanitizer, what hosts call from their audio thread under
# RealtimeSanitizer, and each fuzz target for a bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

echo "== format: the sources follow .clang-format"
git ls-files -z '*.cpp' '*.h' '*.c' | xargs -0 clang-format --dry-run --Werror

# windows32 and windows: the DLLs cross-built with MinGW-w64 and tested under Wine on a virtual
# display (32 bits first: the 64-bit build's installer and zip carry its DLL, and LMMS hosts it).
for preset in release asan windows32 windows; do
  echo "== $preset: build and test"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j2
  ctest --preset "$preset"
done

echo "== tsan: concurrency tests"
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j2 --target effect_tests editor_tests x11_editor_tests fadecrest
# x11: two editors of the shipped module idled from two threads, on a virtual display.
for suite in effect/effect_tests editor/editor_tests x11/x11_editor_tests; do
  TSAN_OPTIONS=halt_on_error=1 "build/tsan/tests/$suite" --gtest_filter='Concurrency.*'
done

echo "== rtsan: what hosts call from their audio thread, under RealtimeSanitizer"
cmake --preset rtsan >/dev/null
cmake --build --preset rtsan -j2 --target fadecrest realtime_tests
RTSAN_OPTIONS=halt_on_error=1 build/rtsan/tests/integration/realtime_tests

echo "== fuzz: ${FADECREST_FUZZ_SECONDS:=60} s per target"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j2
for target in build/fuzz/fuzz-*; do
  corpus=$(mktemp -d)
  "$target" -max_total_time="$FADECREST_FUZZ_SECONDS" -print_final_stats=1 "$corpus" 2>&1 | tail -n 3
  rm -rf "$corpus"
done
echo "all tests passed"
