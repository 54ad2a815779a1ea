#!/usr/bin/env bash
# Installs the Debian packages Tessaro needs to build, run and test, when any is missing.
set -euo pipefail

packages=(
  cmake g++ make pkg-config ccache
  qt6-base-dev qt6-serialport-dev libgl-dev
  libqt6svg6 qt6-svg-dev fonts-noto-cjk
  xvfb xdotool x11-utils imagemagick openbox time
  dbus-daemon at-spi2-core python3-pyatspi
  poppler-utils
  clang libclang-rt-14-dev
  libbenchmark-dev
  libmosquitto-dev mosquitto mosquitto-clients
  appstream desktop-file-utils lintian dpkg-dev file
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null 2>&1 || { echo "need root or sudo to install ${missing[*]}" >&2; exit 1; }
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
