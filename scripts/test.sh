#!/usr/bin/env bash
# Sets up a Debian 12 machine, builds the project and runs every test: once in a normal build,
# once with AddressSanitizer and UndefinedBehaviorSanitizer; the fuzz targets are built with
# clang and each runs briefly. Run as root (as CI does), it also builds a copy of the source as a
# throwaway unprivileged user and runs the quick tests again as that user, so that nothing
# passes only because root may do what users may not; run as an ordinary user, every pass is
# such a run already. Every pass runs even when an earlier one failed; the closing line gives
# the counts of all of them, and the script fails when anything failed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc)

bash scripts/deps.sh

export QT_QPA_PLATFORM=offscreen
passed=0
failed=0
skipped=0

# The command that ctest runs under: nothing (this user), or a switch to another user.
as_user=()

# Runs ctest in the build folder $1 with the options that follow; adds its counts, read from
# its JUnit report, to the totals.
run_tests() {
  local dir=$1
  shift
  rm -f "$dir/ctest.log" "$dir/ctest.xml"
  local status=0
  (cd "$dir" && "${as_user[@]}" ctest --output-on-failure -j"$jobs" --output-junit ctest.xml "$@") |
    tee "$dir/ctest.log" || status=$?
  if [ ! -f "$dir/ctest.xml" ]; then
    echo "-- no test report in $dir (ctest exit status $status)"
    failed=$((failed + 1))
    return
  fi
  local head tests failures skip disabled
  head=$(sed -n '/<testsuite/,/>/p' "$dir/ctest.xml" | head -n 12)
  tests=$(sed -n 's/.*tests="\([0-9]*\)".*/\1/p' <<<"$head" | head -n 1)
  failures=$(sed -n 's/.*failures="\([0-9]*\)".*/\1/p' <<<"$head" | head -n 1)
  skip=$(sed -n 's/.*skipped="\([0-9]*\)".*/\1/p' <<<"$head" | head -n 1)
  disabled=$(sed -n 's/.*disabled="\([0-9]*\)".*/\1/p' <<<"$head" | head -n 1)
  tests=${tests:-0} failures=${failures:-0} skip=$((${skip:-0} + ${disabled:-0}))
  # A ctest that failed without a failed test (a test that could not run) still fails the run.
  if [ "$status" != 0 ] && [ "$failures" = 0 ]; then failures=1; fi
  passed=$((passed + tests - failures - skip))
  failed=$((failed + failures))
  skipped=$((skipped + skip))
  echo "-- $dir: $((tests - failures - skip)) passed, $failures failed, $skip skipped"
}

echo "== build"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$jobs"
echo "== tests"
run_tests build --timeout 1200

# The quick tests once more as a user made for it, in a copy of the source that it owns and
# builds itself (a build folder cannot move). The user and the copy are removed afterwards.
unprivileged_pass() {
  local user work PATH="$PATH:/usr/sbin:/sbin"
  user="orvex-test-$$"
  work=$(mktemp -d /tmp/orvex-unprivileged.XXXXXX)
  chmod 755 "$work"
  useradd --no-create-home --home-dir "$work/home" --shell /bin/sh "$user"
  # shellcheck disable=SC2064
  trap "userdel '$user' 2>/dev/null || true; rm -rf '$work'" EXIT
  mkdir "$work/home" "$work/src"
  mkdir -m 0700 "$work/runtime"
  tar -C "$root" --exclude=./.git --exclude='./build*' -cf - . | tar -C "$work/src" -xf -
  chown -R "$user:" "$work"
  as_user=(runuser -u "$user" -- env HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=offscreen
    PATH=/usr/local/bin:/usr/bin:/bin)
  if "${as_user[@]}" bash -c "cmake -S '$work/src' -B '$work/src/build' -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      >/dev/null && cmake --build '$work/src/build' -j$jobs >'$work/build.log' 2>&1"; then
    run_tests "$work/src/build" --timeout 600 -LE slow
  else
    tail -n 40 "$work/build.log"
    echo "-- the build as $user failed"
    failed=$((failed + 1))
  fi
  as_user=()
  userdel "$user" 2>/dev/null || true
  rm -rf "$work"
  trap - EXIT
}
if [ "$(id -u)" = 0 ]; then
  echo "== quick tests as an unprivileged user"
  unprivileged_pass
else
  echo "== quick tests as an unprivileged user: the tests above ran as $(id -un) already"
fi

if [ "${ORVEX_QUICK:-0}" != 1 ]; then
  echo "== tests with AddressSanitizer and UndefinedBehaviorSanitizer"
  cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORVEX_SANITIZE=ON
  cmake --build build-asan -j"$jobs"
  # The two long reliability runs (label slow: minutes each, mostly waiting on the modem's pace)
  # run in the normal build only; their code paths run here through the shorter end-to-end
  # tests.
  ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    run_tests build-asan --timeout 600 -LE slow

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
    status=0
    ASAN_OPTIONS=detect_leaks=0 "$target" -max_total_time="${ORVEX_FUZZ_SECONDS:-20}" -print_final_stats=1 \
      "$work" > "$work.out" 2>&1 || status=$?
    tail -n 3 "$work.out"
    # Each target counts as one test.
    if [ "$status" = 0 ]; then
      passed=$((passed + 1))
    else
      echo "-- $(basename "$target") failed (exit status $status):"
      tail -n 40 "$work.out"
      failed=$((failed + 1))
    fi
    rm -rf "$work" "$work.out"
  done
fi
# The closing line: the counts summed over the passes that ran.
echo "$passed passed, $failed failed, $skipped skipped"
[ "$failed" = 0 ]
