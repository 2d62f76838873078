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
  help2man           # the manual page, made from --help
  lintian desktop-file-utils appstream man-db   # scripts/check-package.sh
  locales            # first-start, date and time tests run under several regional settings
  libzip-dev         # sigrok session (.sr) export
  sigrok-cli python3-pandas   # exports are read back by the programs that open them
  qt6-translations-l10n       # Qt's own dialogs and buttons in German (qtbase_de.qm)
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
# The locales the first-start tests start the program under, and those dates and times are
# written and read back under; the C library knows a locale only once it is generated.
for loc in en_US de_DE en_GB nl_NL ja_JP fr_FR; do
  if ! locale -a 2>/dev/null | grep -qix "$loc.utf-\?8"; then
    $SUDO sed -i "s/^# *\($loc.UTF-8 UTF-8\)/\1/" /etc/locale.gen
    grep -qx "$loc.UTF-8 UTF-8" /etc/locale.gen || echo "$loc.UTF-8 UTF-8" | $SUDO tee -a /etc/locale.gen >/dev/null
    gen=1
  fi
done
if [ "${gen:-0}" -eq 1 ]; then $SUDO locale-gen >/dev/null; fi
