#!/usr/bin/env bash
# Makes (or refreshes) this build's private 32-bit Wine prefix and starts the
# board simulator in it as a demand-start kernel service. Quick when the
# prefix exists: only the driver is stopped, replaced and started again.
set -euo pipefail
. "$(dirname "$0")/wine-env.sh"

SYS=$VANTRI_BIN/vantrisim.sys
[ -f "$SYS" ] || { echo "wine-prefix: $SYS not built; run tools/build.sh" >&2; exit 1; }

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$VANTRI_BUILD"
  wineboot -i >/dev/null 2>&1
  # The dialogs ask for the face "ＭＳ Ｐゴシック": map it to the installed IPA Gothic.
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'ＭＳ Ｐゴシック' /d 'IPAPGothic' /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'ＭＳ ゴシック' /d 'IPAGothic' /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'MS Shell Dlg' /d 'IPAPGothic' /f >/dev/null 2>&1
  # No window manager runs on the virtual screen: unmanaged windows get their
  # frame drawn by Wine and hide at once (managed ones wait 2 s for a WM).
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
fi

# Caption buttons draw their glyphs in Marlett, and this Wine build does not
# find its own copy (fonts-wine): give the prefix one.
FONTDIR=$WINEPREFIX/drive_c/windows/Fonts
if [ -f /usr/share/wine/fonts/marlett.ttf ] && [ ! -f "$FONTDIR/marlett.ttf" ]; then
  mkdir -p "$FONTDIR"
  cp /usr/share/wine/fonts/marlett.ttf "$FONTDIR/"
fi

# The session started here (its desktop included) serves every later program
# of this prefix: start it with the display, or no window can ever be made.
vantri_ensure_display >/dev/null || true
# One wineserver for everything that follows (the driver lives in it).
wineserver -p >/dev/null 2>&1 || true

DRIVERS=$WINEPREFIX/drive_c/windows/system32/drivers
wine sc stop vantrisim >/dev/null 2>&1 || true
for _ in $(seq 50); do
  wine sc query vantrisim 2>/dev/null | grep -qE 'RUNNING|PENDING' || break
  sleep 0.1
done
# A new file under the old name: a driver host that still maps the old image
# keeps reading the old one.
cp "$SYS" "$DRIVERS/vantrisim.sys.new"
mv -f "$DRIVERS/vantrisim.sys.new" "$DRIVERS/vantrisim.sys"
if ! wine sc query vantrisim >/dev/null 2>&1; then
  wine sc create vantrisim type= kernel start= demand \
    binPath= 'C:\windows\system32\drivers\vantrisim.sys' >/dev/null
fi
# Right after wineboot the service manager may still refuse a start (1055),
# and after a driver host died it may refuse every start (6): try a few
# times, then restart this prefix's wineserver and try again.
start_service() {
  local _i _j
  for _i in $(seq 5); do
    wine sc start vantrisim >/dev/null 2>&1 || true
    for _j in $(seq 20); do
      wine sc query vantrisim 2>/dev/null | grep -q RUNNING && return 0
      sleep 0.1
    done
  done
  return 1
}
start_service && exit 0
wineserver -k >/dev/null 2>&1 || true
wineserver -w >/dev/null 2>&1 || true
wineserver -p >/dev/null 2>&1 || true
start_service && exit 0
echo "wine-prefix: the simulator service did not start" >&2
exit 1
