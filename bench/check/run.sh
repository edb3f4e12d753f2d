#!/usr/bin/env bash
# Runs bench_check.exe and, while it holds vantri-check.exe with four port
# windows open, reads that program's CPU time from /proc (Wine answers
# GetProcessTimes of another process with 0), and the same for the wineserver
# and the simulator's driver host, which serve every port request, and the
# X server, which takes every repaint.
# Usage: bench/check/run.sh [seconds]   (needs tools/build.sh, tools/wine-prefix.sh)
set -uo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/../../tools/wine-env.sh"
vantri_ensure_display >/dev/null || exit 1
SECS=${1:-10}
LOG=$VANTRI_BUILD/bench-check.log
cd "$VANTRI_BIN" || exit 1

# Processes of this build's prefix whose command line matches.
pids_of() {
  local p
  for p in $(pgrep -f "$1"); do
    tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" && echo "$p"
  done
}
ticks_of() {  # utime + stime of the processes given, in clock ticks
  local sum=0 p f
  for p in "$@"; do
    f=($(sed 's/^.*) //' "/proc/$p/stat" 2>/dev/null)) || continue
    sum=$((sum + f[11] + f[12]))
  done
  echo $sum
}

wine ./bench_check.exe "$SECS" >"$LOG" 2>&1 &
BENCH=$!
for _ in $(seq 300); do
  grep -q "measuring" "$LOG" && break
  kill -0 $BENCH 2>/dev/null || break
  sleep 0.1
done
if grep -q "measuring" "$LOG"; then
  app=($(pids_of 'vantri-check\.exe'))
  server=($(pids_of 'wineserver'))
  device=($(pids_of 'winedevice\.exe'))
  xserver=($(cat "$VANTRI_BUILD/xvfb.pid" 2>/dev/null))
  hz=$(getconf CLK_TCK)
  a0=$(ticks_of "${app[@]}"); s0=$(ticks_of "${server[@]}"); d0=$(ticks_of "${device[@]}"); x0=$(ticks_of "${xserver[@]}"); t0=$(date +%s.%N)
  sleep "$SECS"
  a1=$(ticks_of "${app[@]}"); s1=$(ticks_of "${server[@]}"); d1=$(ticks_of "${device[@]}"); x1=$(ticks_of "${xserver[@]}"); t1=$(date +%s.%N)
  awk -v a=$((a1 - a0)) -v s=$((s1 - s0)) -v d=$((d1 - d0)) -v x=$((x1 - x0)) -v hz="$hz" -v t0="$t0" -v t1="$t1" 'BEGIN {
    w = t1 - t0
    printf "/proc: vantri-check.exe CPU %.1f ms per s of wall time over %.1f s (%.1f%% of one core)\n", a * 1000 / hz / w, w, a * 100 / hz / w
    printf "/proc: in the same time wineserver %.1f ms/s, driver hosts (winedevice.exe) %.1f ms/s, X server %.1f ms/s\n", s * 1000 / hz / w, d * 1000 / hz / w, x * 1000 / hz / w
  }'
fi
wait $BENCH
cat "$LOG"
