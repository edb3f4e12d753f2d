#!/usr/bin/env bash
# Instructions per export call of the library's native build, counted by
# callgrind with collection on inside the one export measured. Each call's
# instructions are split into the library's own code, the Win32 layer that
# stands in for the system (every call from library code into a Win32 API
# function, inclusive), and the board model under it (standing in for the
# driver). The library column is the figure that matters: it is what the
# same sources execute around each system call on the real platform.
#
#   bench/library-native/run.sh [calls]     (default 10000)
# Builds $VANTRI_BUILD/native's benchmark target if needed.
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
VANTRI_BUILD=${VANTRI_BUILD:-$ROOT/build}
CALLS=${1:-10000}
NATIVE=$VANTRI_BUILD/native
OUT=$VANTRI_BUILD/bench-native
mkdir -p "$OUT"

command -v valgrind >/dev/null || { echo "valgrind is not installed (tools/setup.sh)" >&2; exit 1; }
if [ ! -f "$NATIVE/CMakeCache.txt" ]; then
  cmake -S "$ROOT" -B "$NATIVE" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$NATIVE" --target vantri_bench_native -j "$(nproc)" >/dev/null
BENCH=$NATIVE/bench/library-native/vantri_bench_native

EXPORTS=(VantriGetVersion VantriGetLastError VantriCreate VantriClose
         VantriGetResource VantriInPort VantriOutPort)
# The system calls the library makes (served by winlayer/) and the board model.
API='^(CreateFileA|DeviceIoControl|GetOverlappedResult|CloseHandle|CreateEventA|SetEvent|ResetEvent|WaitForSingleObject|InitializeCriticalSection|EnterCriticalSection|LeaveCriticalSection|DeleteCriticalSection|GetVersionExA|SetLastError|GetLastError|InterlockedIncrement|InterlockedDecrement|InterlockedExchange|InterlockedCompareExchange|wsprintfA|Sleep|GetCurrentProcessId)$'
MODEL='^SimModel'

# Reads one callgrind output (uncompressed names): prints
#   total  api  model
# where total is every instruction collected, api the inclusive cost of the
# calls made from non-API code into API functions, model that of the calls
# into the model's functions.
split_costs() {
  awk -v api="$API" -v model="$MODEL" '
    /^fn=/      { fn = substr($0, 4); next }
    /^cfn=/     { callee = substr($0, 5); next }
    /^calls=/   { want = 1; next }
    want == 1   { want = 0
                  if (callee ~ api && fn !~ api) a += $2
                  if (callee ~ model && fn !~ model) m += $2
                  next }
    /^(summary|totals):/ { t = $2 }
    END { printf "%d %d %d\n", t, a, m }' "$1"
}

printf '%-20s %12s %12s %12s %12s %14s\n' export library layer model total "wall ns/call"
printf '%-20s %12s %12s %12s %12s %14s\n' "" "instr/call" "instr/call" "instr/call" "instr/call" "(all incl.)"
for e in "${EXPORTS[@]}"; do
  wall=$("$BENCH" "$e" "$CALLS" | sed -nE 's/.* ([0-9]+) ns per call.*/\1/p')
  file=$OUT/callgrind.$e.out
  counted=$(valgrind --tool=callgrind --callgrind-out-file="$file" \
              --toggle-collect="$e" --compress-strings=no --compress-pos=no \
              "$BENCH" "$e" "$CALLS" nowarm 2>/dev/null | sed -nE 's/^counted ([0-9]+)$/\1/p')
  read -r total api model < <(split_costs "$file")
  awk -v e="$e" -v n="$counted" -v t="$total" -v a="$api" -v m="$model" -v w="$wall" 'BEGIN {
    printf "%-20s %12.1f %12.1f %12.1f %12.1f %14s\n", e, (t - a) / n, (a - m) / n, m / n, t / n, w }'
done
echo "($CALLS calls per export; callgrind --toggle-collect=<export>; outputs in $OUT)"
