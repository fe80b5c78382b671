#!/usr/bin/env bash
# Installs the Debian 12 packages the project builds, tests and runs with, when missing.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev qt6-qpa-plugins libpcre2-dev libudev-dev libsimpleini-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  dbus dbus-bin xvfb xauth trayer x11-apps x11-utils imagemagick socat xdotool xdg-utils file
  # The windows' face and Qt's own texts in Russian; a window manager for the tests of window
  # geometry and for the demo.
  fonts-dejavu-core qt6-translations-l10n openbox
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
