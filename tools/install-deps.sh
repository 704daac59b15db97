#!/bin/bash
# Installs every Debian 12 package the build, the program, the simulator and the tests need.
# Idempotent: packages already there are left alone.
set -euo pipefail
PACKAGES=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev qt6-charts-dev libqscintilla2-qt6-dev qt6-qpa-plugins qt6-webengine-dev
  libgl1-mesa-dev libglu1-mesa-dev libgl1-mesa-dri mesa-utils
  libcurl4-openssl-dev libssh-dev libtelnet-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  tcl8.6 tcl8.6-dev python3-pyftpdlib python3-paramiko python3-tk
  xvfb xauth curl openssh-client locales
)
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
# The number tests also run under a French locale.
if ! locale -a 2>/dev/null | grep -qi '^fr_FR\.utf8$'; then
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO sed -i 's/^# *fr_FR.UTF-8 UTF-8/fr_FR.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^fr_FR.UTF-8 UTF-8' /etc/locale.gen || echo 'fr_FR.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen >/dev/null
fi
