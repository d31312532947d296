#!/usr/bin/env bash
# Installs the Debian packages the register needs to build, run and test, when any is missing.
set -eu
pkgs="cmake g++ make pkg-config qt6-base-dev libqt6sql6-sqlite libqt6sql6-psql libpq-dev postgresql qt6-translations-l10n qt6-qpa-plugins
      libsqlite3-dev libicu-dev libxlsxwriter-dev libzip-dev unzip python3 python3-openpyxl mdbtools-dev fonts-wqy-microhei xvfb xauth clang clang-format libclang-rt-14-dev"
need=""
for p in $pkgs; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || need="$need $p"
done
[ -z "$need" ] && exit 0
sudo=""
[ "$(id -u)" = 0 ] || sudo=sudo
echo "Installing:$need"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $need >/dev/null
