#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need. Safe to run again: it only asks apt
# for what is missing, so a warm machine pays nothing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev ccache
  libsdl2-dev libxrandr-dev libx11-dev libgtk-3-dev
  libgl-dev libopengl-dev libglu1-mesa-dev libegl-dev libegl-mesa0 libgl1-mesa-dri
  libjpeg-dev libpng-dev zlib1g-dev libogg-dev libvorbis-dev
  libfreetype-dev fonts-dejavu-core
  libgtest-dev libbenchmark-dev
  libxext-dev libxss-dev libxdamage-dev
  xvfb xdotool x11-utils x11-xserver-utils imagemagick
  # Xorg with the dummy driver: a test server with several RandR outputs and a screen that can
  # grow, which Xvfb (one output) cannot be.
  xserver-xorg-core xserver-xorg-video-dummy xserver-xephyr
  # Weston's headless compositor with Xwayland: the X server most Wayland desktops give X programs.
  weston xwayland
  dpkg-dev file lintian
  # The Windows build: the MinGW-w64 cross compiler (POSIX threads), nasm for libjpeg-turbo's SIMD
  # code and Wine (the loader and its `wine` wrapper) for the tests; dpkg-dev above also serves
  # `apt-get source`.
  g++-mingw-w64-x86-64-posix nasm wine wine64
  # The Windows setup program.
  nsis
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "install-deps: installing ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
