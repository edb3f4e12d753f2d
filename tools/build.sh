#!/usr/bin/env bash
# Builds everything: the Win32 binaries (cross, build/win32) and the native
# build of the library's logic (build/native).
set -euo pipefail
. "$(dirname "$0")/wine-env.sh"
JOBS=$(nproc)
# Build tools speak English in the logs; only Wine runs in the Japanese locale.
export LC_ALL=C.UTF-8 LANG=C.UTF-8
cmake -S "$VANTRI_ROOT" -B "$VANTRI_BUILD/win32" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$VANTRI_ROOT/cmake/mingw-i686.cmake" >/dev/null
cmake --build "$VANTRI_BUILD/win32" -j "$JOBS"
cmake -S "$VANTRI_ROOT" -B "$VANTRI_BUILD/native" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$VANTRI_BUILD/native" -j "$JOBS"
