#!/usr/bin/env bash
# Screenshot of the real program's main window on the simulator's three
# boards: $VANTRI_BUILD/screenshots/main-window.png.
# Usage: tests/wine/check/screenshot.sh <path of check_program_test.exe>
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../../.." && pwd)
. "$ROOT/tools/wine-env.sh"
"$ROOT/tools/wine-run.sh" "$1" screenshot_
convert "$VANTRI_BUILD/screenshots/main-window.bmp" "$VANTRI_BUILD/screenshots/main-window.png"
echo "screenshot: $VANTRI_BUILD/screenshots/main-window.png"
