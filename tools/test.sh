#!/usr/bin/env bash
# Runs every test of the project on this machine:
#   1. the native suites of the library's logic and the board model (plain,
#      then AddressSanitizer/UBSan, ThreadSanitizer and a bounded fuzz run);
#   2. the Win32 suites under Wine: the real binaries against the simulator
#      driver, windows on a virtual screen.
# Installs what is missing first (tools/setup.sh needs root for that).
# Ends with one line "N passed, N failed" over all suites; exit 1 on any failure.
set -uo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/wine-env.sh"

bash "$HERE/setup.sh" || exit 1
"$HERE/build.sh" || { echo "build failed"; exit 1; }

LOGDIR=$VANTRI_BUILD/test-logs
mkdir -p "$LOGDIR"
total_passed=0
total_failed=0
status=0

# Adds the counts of one ctest run from its closing summary line.
count_ctest() {
  local log=$1 line passed failed all
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
  if [ -z "$line" ]; then
    if grep -q 'No tests were found' "$log"; then return 0; fi
    total_failed=$((total_failed + 1)); status=1; return 0
  fi
  failed=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
  all=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line")
  passed=$((all - failed))
  total_passed=$((total_passed + passed))
  total_failed=$((total_failed + failed))
}

run_suite() {
  local name=$1; shift
  echo "=== $name"
  local log=$LOGDIR/$name.log
  # Logs in English; the Wine programs get their Japanese locale from wine-run.sh.
  LC_ALL=C.UTF-8 LANG=C.UTF-8 "$@" 2>&1 | tee "$log"
  local rc=${PIPESTATUS[0]}
  [ "$rc" -eq 0 ] || status=1
  count_ctest "$log"
}

run_suite native ctest --test-dir "$VANTRI_BUILD/native" --output-on-failure -j "$(nproc)"

if [ -x "$VANTRI_ROOT/tests/native/run.sh" ]; then
  run_suite native-variants "$VANTRI_ROOT/tests/native/run.sh"
fi

# One wineserver and one simulator instance for the whole Wine run.
vantri_ensure_display || exit 1
if "$HERE/wine-prefix.sh"; then
  run_suite wine ctest --test-dir "$VANTRI_BUILD/win32" --output-on-failure
else
  echo "the simulator could not be started"; status=1; total_failed=$((total_failed + 1))
fi
wineserver -k >/dev/null 2>&1 || true
vantri_stop_display

echo "test logs: $LOGDIR"
echo "$total_passed passed, $total_failed failed"
[ "$status" -eq 0 ] && [ "$total_failed" -eq 0 ]
