#!/usr/bin/env bash
# Installs what building and testing Vellumo needs on Debian 12 (as root, or
# through sudo). Packages already present are left alone.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config clang-format clang-tidy
  clang libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libcurl4-openssl-dev
  qt6-base-dev qt6-tools-dev qt6-webengine-dev
  libgupnp-1.6-dev libgupnp-av-1.0-dev libsoup-3.0-dev libxml2-dev libglib2.0-dev nlohmann-json3-dev
  libnftables-dev nftables
  python3-dbusmock dbus
  desktop-file-utils appstream dpkg-dev file
  lintian scdoc man-db
  iproute2 util-linux
  nginx-light xvfb
  gmediarender rygel rygel-playbin curl
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-tools
  librsvg2-bin shared-mime-info
  fonts-noto-cjk
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo apt-get update
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
