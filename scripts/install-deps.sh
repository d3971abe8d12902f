#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need. Idempotent: does
# nothing when everything is present. Runs apt-get as root, or through sudo.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libfltk1.3-dev fluid fonts-liberation fontconfig
  wine64 wine
  xvfb xdotool x11-utils imagemagick
  icoutils python3 python3-pil
  mingw-w64 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
