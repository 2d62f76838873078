#!/usr/bin/env bash
# Installs exactly the Debian 12 packages the build and tests need; only what is missing.
set -euo pipefail
PACKAGES=(
  cmake g++ make pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libfmt-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  fonts-dejavu-core
  dpkg-dev file      # the Debian package build (CPack)
  libftdi1-2         # run time: the second FTDI driver path
)
missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
