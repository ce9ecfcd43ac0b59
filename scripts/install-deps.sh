#!/usr/bin/env bash
# Installs every Debian 12 package that building, running and testing need.
set -euo pipefail
PACKAGES=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-qpa-plugins qt6-translations-l10n libgl-dev libopengl-dev
  libjpeg62-turbo-dev libjpeg-turbo-progs libicu-dev libexif-dev
  libpng-dev libwebp-dev libgif-dev libtiff-dev libjxl-dev libjxl-tools libheif-dev libheif-examples
  liblcms2-dev
  libgtest-dev libgmock-dev
  clang libclang-rt-14-dev
  fonts-ipafont-gothic fonts-noto-cjk fonts-noto-color-emoji fonts-urw-base35
  xvfb xauth xdotool imagemagick openbox x11-utils libx11-dev xclip
  libxss-dev libxext-dev dbus-daemon
  libseccomp-dev
  desktop-file-utils appstream
  dpkg-dev lintian
)
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y --no-install-recommends "${missing[@]}"
