#!/usr/bin/env bash
# Installs every Debian package the project needs to build, run and test.
# Idempotent: packages already present are skipped quickly.
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config
  qtbase5-dev qttools5-dev qttools5-dev-tools libqt5svg5-dev
  qtmultimedia5-dev libqt5multimedia5-plugins
  libopencv-dev
  libdlib-dev libjpeg-dev libpng-dev libblas-dev liblapack-dev
  libsqlite3-dev zlib1g-dev
  libqcustomplot-dev
  libbenchmark-dev googletest libgtest-dev
  libxcb1-dev libxcb-screensaver0-dev libxcb-dpms0-dev libxcb-keysyms1-dev
  xvfb xauth x11-xserver-utils xdotool openbox dbus dbus-daemon dbus-x11
  fonts-roboto-unhinted qttranslations5-l10n qt5-image-formats-plugins
  uuid-dev
  tinyproxy openssl python3
  trayer poppler-utils libglib2.0-bin xcompmgr
  faketime
  ffmpeg
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends "${missing[@]}"
