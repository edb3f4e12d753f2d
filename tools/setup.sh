#!/usr/bin/env bash
# Installs everything the build and the tests need on a fresh Debian 12 machine.
# Idempotent: when every package is present and the locale exists it returns at once.
set -euo pipefail

PACKAGES=(
  g++-mingw-w64-i686 gcc-mingw-w64-i686 mingw-w64-i686-dev binutils-mingw-w64-i686
  cmake make g++ googletest libgtest-dev clang libclang-rt-14-dev valgrind
  wine wine32:i386 xvfb xauth xdotool imagemagick x11-utils
  locales fonts-ipafont-gothic fonts-wine
)

need_root() {
  if [ "$(id -u)" != 0 ]; then
    echo "setup.sh: run as root (apt-get and locale-gen need it)" >&2
    exit 1
  fi
}

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  need_root
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf8$'; then
  need_root
  sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen
fi
echo "setup: all dependencies present"
