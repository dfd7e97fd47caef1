#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need; a no-op when all are present.
set -euo pipefail
packages=(
  build-essential cmake pkg-config ninja-build ccache
  qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite libqt6sql6-ibase qt6-translations-l10n
  libgl-dev
  firebird3.0-server firebird3.0-utils firebird-dev libsqlite3-dev
  libsoci-dev
  xvfb xauth imagemagick fonts-dejavu-core fonts-dejavu-extra openbox
  clang libclang-rt-14-dev
  openssl libssl-dev libgsasl-dev libpam0g-dev libpam-wrapper
  systemd libsystemd-dev man-db adduser dpkg-dev binutils lintian
  python3 python3-matplotlib
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  # the Firebird package asks for a SYSDBA password through debconf; tests set their own
  echo "firebird3.0-server shared/firebird/enabled boolean true" | $SUDO debconf-set-selections || true
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
