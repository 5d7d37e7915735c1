#!/usr/bin/env bash
# Installs the Debian packages the build, the show and the tests need,
# only those that are missing.
set -euo pipefail
packages=(
  cmake ninja-build g++ pkg-config clang libclang-rt-14-dev
  qt6-base-dev qt6-image-formats-plugins qt6-svg-dev libqt6svg6 qt6-qpa-plugins
  libexiv2-dev exiv2 libwmf-dev libgl-dev
  # libwmf's pkg-config file links expat and libjpeg, and it plays no
  # metafile without the fonts its package only recommends.
  libexpat1-dev libjpeg-dev fonts-urw-base35
  libxcb1-dev xvfb xauth xdotool x11-utils imagemagick fonts-liberation2 fontconfig
  # two monitors on one X screen (Xorg's dummy driver, xrandr), and a
  # Wayland desktop with XWayland for the end-to-end tests
  xserver-xorg-core xserver-xorg-video-dummy x11-xserver-utils weston xwayland qt6-wayland
  # scripts/mutants.py and the generator of the test pictures
  python3
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
