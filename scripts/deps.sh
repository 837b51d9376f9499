#!/usr/bin/env bash
# Installs the Debian packages the build, the program and the tests need.
set -euo pipefail
packages=(
    cmake ninja-build g++ libtsan2 pkg-config clang-format
    qt6-base-dev qt6-multimedia-dev qt6-svg-dev qt6-webengine-dev libgl-dev qt6-translations-l10n libssl-dev
    xvfb xauth
    nginx-light vsftpd curl aria2 openssl chromium
    desktop-file-utils appstream
    dbus-daemon dpkg-dev lintian
)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo_cmd=()
    [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
    export DEBIAN_FRONTEND=noninteractive
    "${sudo_cmd[@]}" apt-get update -q
    "${sudo_cmd[@]}" apt-get install -y -q "${missing[@]}" </dev/null
fi
