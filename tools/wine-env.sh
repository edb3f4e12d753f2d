# Sourced by the other scripts: the environment of this build's private Wine
# prefix. VANTRI_BUILD selects the build tree (default: build/ in the repo).
VANTRI_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
VANTRI_BUILD=${VANTRI_BUILD:-$VANTRI_ROOT/build}
VANTRI_BIN=$VANTRI_BUILD/win32/bin
export VANTRI_ROOT VANTRI_BUILD VANTRI_BIN
export WINEPREFIX=$VANTRI_BUILD/wineprefix
export WINEARCH=win32
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko installer prompts: neither is needed.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
# ANSI code page 932, so the Japanese string table converts and shows.
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8

# Make sure an X display answers: the caller's, or a virtual one of our own.
vantri_ensure_display() {
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    return 0
  fi
  local pidfile=$VANTRI_BUILD/xvfb.pid n
  if [ -f "$pidfile" ] && kill -0 "$(cat "$pidfile")" 2>/dev/null; then
    export DISPLAY=$(cat "$VANTRI_BUILD/xvfb.display")
    xdpyinfo >/dev/null 2>&1 && return 0
  fi
  for n in $(seq 90 130); do
    [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    echo $! > "$pidfile"
    echo ":$n" > "$VANTRI_BUILD/xvfb.display"
    export DISPLAY=":$n"
    for _ in $(seq 50); do
      xdpyinfo >/dev/null 2>&1 && return 0
      sleep 0.1
    done
  done
  echo "wine-env: no X display could be started" >&2
  return 1
}

vantri_stop_display() {
  local pidfile=$VANTRI_BUILD/xvfb.pid
  if [ -f "$pidfile" ]; then
    kill "$(cat "$pidfile")" 2>/dev/null || true
    rm -f "$pidfile" "$VANTRI_BUILD/xvfb.display"
  fi
}
