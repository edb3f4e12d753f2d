#!/usr/bin/env bash
# The native variants of the library's tests, each in a build tree of its own
# under $VANTRI_BUILD (the plain native build is tools/build.sh's):
#   native-asan  the whole native suite under AddressSanitizer + UBSan
#   native-tsan  the concurrency tests under ThreadSanitizer
#   native-fuzz  the libFuzzer target (clang), run for a bounded time
# Ends with one ctest-style summary line over all of them; exits nonzero on
# any failure. Environment: VANTRI_FUZZ_SECONDS (default 60).
set -uo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
VANTRI_BUILD=${VANTRI_BUILD:-$ROOT/build}
FUZZ_SECONDS=${VANTRI_FUZZ_SECONDS:-60}
JOBS=$(nproc)
LOGS=$VANTRI_BUILD/native-variants
mkdir -p "$LOGS"

passed=0
failed=0

# Adds the counts of a ctest log's summary line; a missing line is a failure.
count_ctest() {
  local line all bad
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$1" | tail -n 1)
  if [ -z "$line" ]; then
    failed=$((failed + 1))
    return
  fi
  bad=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
  all=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line")
  passed=$((passed + all - bad))
  failed=$((failed + bad))
}

# configure DIR [cmake options...]: a quiet configure of one variant tree.
configure() {
  local dir=$1; shift
  cmake -S "$ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_PROJECT_INCLUDE="$HERE/sanitize.cmake" "$@" >"$dir.configure.log" 2>&1 \
    || { cat "$dir.configure.log"; return 1; }
}

# build DIR TARGET...: builds the given targets, output kept in a log.
build() {
  local dir=$1; shift
  local args=()
  for t in "$@"; do args+=(--target "$t"); done
  cmake --build "$dir" -j "$JOBS" "${args[@]}" >"$dir.build.log" 2>&1 \
    || { tail -n 40 "$dir.build.log"; return 1; }
}

# Sanitizers stop at the first report and say so on stderr.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}

echo "=== native-asan: AddressSanitizer + UndefinedBehaviorSanitizer"
ASAN=$VANTRI_BUILD/native-asan
# The library's suites and the corpus replay; the board model's own suite
# joins when it builds (the tree is shared: a half-finished area elsewhere
# must not hide these results).
ASAN_TESTS='^(library|fuzz)\.'
if configure "$ASAN" -DVANTRI_SANITIZE=address \
   && build "$ASAN" vantri_native_tests vantri_native_child vantri_fuzz_replay; then
  if cmake --build "$ASAN" -j "$JOBS" --target sim_model_test >>"$ASAN.build.log" 2>&1; then
    ASAN_TESTS='^(library|fuzz|sim_model)\.'
  fi
  ctest --test-dir "$ASAN" --output-on-failure -j "$JOBS" -R "$ASAN_TESTS" 2>&1 | tee "$LOGS/asan.log"
  count_ctest "$LOGS/asan.log"
else
  echo "native-asan: build failed"; failed=$((failed + 1))
fi

echo "=== native-tsan: ThreadSanitizer, the concurrency tests"
TSAN=$VANTRI_BUILD/native-tsan
# The tests where threads share the library: racing creates and closes, the
# create/close/poll stress, two threads on one handle, pended completions.
TSAN_TESTS='library\.LibraryTest\.(Racing|CreateClosePollStress|TwoThreads|APendedRequest|EveryExportWaits|WithoutAnOverlapped)'
if configure "$TSAN" -DVANTRI_SANITIZE=thread && build "$TSAN" vantri_native_tests vantri_native_child; then
  ctest --test-dir "$TSAN" --output-on-failure -R "$TSAN_TESTS" 2>&1 | tee "$LOGS/tsan.log"
  count_ctest "$LOGS/tsan.log"
else
  echo "native-tsan: build failed"; failed=$((failed + 1))
fi

echo "=== native-fuzz: libFuzzer for ${FUZZ_SECONDS} s"
FUZZ=$VANTRI_BUILD/native-fuzz
if configure "$FUZZ" -DVANTRI_FUZZ=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
   && build "$FUZZ" vantri_fuzz; then
  # New inputs go to a scratch corpus; the committed seeds are only read.
  mkdir -p "$FUZZ/corpus" "$FUZZ/artifacts"
  if "$FUZZ/tests/native/fuzz/vantri_fuzz" "$FUZZ/corpus" "$ROOT/tests/fuzz/corpus" \
       -max_total_time="$FUZZ_SECONDS" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
       -artifact_prefix="$FUZZ/artifacts/" >"$LOGS/fuzz.log" 2>&1; then
    grep -E '^(stat::number_of_executed_units|stat::new_units_added|#[0-9]+ +DONE)' "$LOGS/fuzz.log" || true
    echo "native-fuzz: no invariant violated"
    passed=$((passed + 1))
  else
    tail -n 60 "$LOGS/fuzz.log"
    echo "native-fuzz: FAILED (inputs kept in $FUZZ/artifacts)"
    failed=$((failed + 1))
  fi
else
  echo "native-fuzz: build failed"; failed=$((failed + 1))
fi

total=$((passed + failed))
percent=100
[ "$total" -gt 0 ] && percent=$((100 * passed / total))
echo "native variants: logs in $LOGS"
echo "${percent}% tests passed, ${failed} tests failed out of ${total}"
[ "$failed" -eq 0 ]
