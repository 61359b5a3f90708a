#!/usr/bin/env bash
# Installs the Debian packages the build, the program and the tests need,
# when any of them is missing.
set -euo pipefail
PACKAGES=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev
  libpugixml-dev libsqlite3-dev libssl-dev libpq-dev postgresql postgresql-client
  libgtest-dev libgmock-dev libbenchmark-dev
  libxlsxwriter-dev libzip-dev libfreexl-dev libreoffice-calc-nogui python3-openpyxl python3-jsonschema
  xvfb xauth
  libxml2-utils time
  dpkg-dev fakeroot lintian desktop-file-utils shared-mime-info xdg-utils librsvg2-bin libfile-mimeinfo-perl bash-completion
)
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
