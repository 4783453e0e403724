#!/usr/bin/env bash
# Installs every Debian package Tovrak needs to build, run and test.
# The one list of packages: the README's commands and CI both call this.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  freeglut3-dev libglu1-mesa-dev libgl-dev
  libpng-dev libtiff-dev libjpeg-dev libassimp-dev libstb-dev lib3ds-dev
  libv4l-dev libavformat-dev libavcodec-dev libswscale-dev libavutil-dev
  libgtest-dev libbenchmark-dev libhwy-dev libeigen3-dev
  libtinygltf-dev libtinyobjloader-dev nlohmann-json3-dev
  pybind11-dev python3-dev python3-numpy python3-pytest python3-opencv python3-venv python3-pip
  xvfb xauth xdotool
  clang libclang-rt-14-dev
)

# --web: also what the page needs (Emscripten, the header-only model readers, Chromium for its tests).
if [ "${1:-}" = "--web" ]; then
  packages+=(emscripten binaryen node-acorn chromium)
  # npm for the tests' browser driver: Debian's, unless this machine's Node brought its own.
  command -v npm >/dev/null || packages+=(npm)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
