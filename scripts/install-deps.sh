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
  locales            # the regional settings the date and time tests run under
)
missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# Dates and times are written and read back under these regional settings in the tests; the
# C library knows a locale only once it is generated.
LOCALES=(de_DE.UTF-8 en_US.UTF-8 en_GB.UTF-8 nl_NL.UTF-8 ja_JP.UTF-8 fr_FR.UTF-8)
have="$(locale -a 2>/dev/null | tr 'A-Z' 'a-z' | tr -d '-')"
generate=()
for l in "${LOCALES[@]}"; do
  key="$(echo "$l" | tr 'A-Z' 'a-z' | tr -d '-')"
  if ! grep -qx "$key" <<<"$have"; then generate+=("$l"); fi
done
if [ ${#generate[@]} -gt 0 ]; then
  echo "Generating locales: ${generate[*]}"
  for l in "${generate[@]}"; do
    $SUDO sed -i "s/^# *\($l UTF-8\)/\1/" /etc/locale.gen
    grep -q "^$l UTF-8" /etc/locale.gen || echo "$l UTF-8" | $SUDO tee -a /etc/locale.gen >/dev/null
  done
  $SUDO locale-gen >/dev/null
fi
