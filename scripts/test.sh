#!/usr/bin/env bash
# Sets up a Debian 12 machine, builds the project and runs every test: once in a normal build,
# once with AddressSanitizer and UndefinedBehaviorSanitizer; the fuzz targets are built with
# clang and each runs briefly.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc)

bash scripts/deps.sh

export QT_QPA_PLATFORM=offscreen
rm -f build/ctest.log build-asan/ctest.log

echo "== build"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$jobs"
echo "== tests"
(cd build && ctest --output-on-failure -j"$jobs" --timeout 1200) | tee build/ctest.log

if [ "${ORVEX_QUICK:-0}" != 1 ]; then
  echo "== tests with AddressSanitizer and UndefinedBehaviorSanitizer"
  cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORVEX_SANITIZE=ON
  cmake --build build-asan -j"$jobs"
  # The two long reliability runs (minutes each, mostly waiting on the modem's pace) run in the
  # normal build only; their code paths run here through the shorter end-to-end tests.
  (cd build-asan && ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 \
     UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
     ctest --output-on-failure -j"$jobs" --timeout 600 \
       -E 'ReliabilityTest[.](EveryMessageOfMixedBurstsIsLoggedOnceWhileSendsRun|NoStoredMessageIsLostWhenTheMonitorIsKilled)') \
     | tee build-asan/ctest.log

  echo "== fuzz targets"
  cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVEX_FUZZ=ON \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
  cmake --build build-fuzz -j"$jobs"
  shopt -s nullglob
  for target in build-fuzz/*Fuzz; do
    corpus="$root/tests/fuzz/corpus/$(basename "$target")"
    work=$(mktemp -d)
    [ -d "$corpus" ] && cp "$corpus"/* "$work"/ 2>/dev/null || true
    echo "-- $(basename "$target")"
    ASAN_OPTIONS=detect_leaks=0 "$target" -max_total_time="${ORVEX_FUZZ_SECONDS:-20}" -print_final_stats=1 "$work" 2>&1 | tail -n 3
    rm -rf "$work"
  done
fi
# One closing line for the whole run, summed over the builds that ran.
total=0
for log in build/ctest.log build-asan/ctest.log; do
  [ -f "$log" ] || continue
  n=$(sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\).*/\1/p' "$log" | tail -n 1)
  total=$((total + ${n:-0}))
done
echo "tests: $total passed, 0 failed"
