#!/usr/bin/env bash
# Runs one Win32 program in this build's Wine prefix and returns its exit code.
# Usage: tools/wine-run.sh program.exe [arguments]
set -uo pipefail
. "$(dirname "$0")/wine-env.sh"
vantri_ensure_display >/dev/null || exit 1
exec wine "$@"
