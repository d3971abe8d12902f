#!/usr/bin/env bash
# Installs the Debian packages Vidazoz needs: `run` for building and running the program only,
# `test` (the default) for everything the tests, packages, benchmarks and demo need as well.
# Idempotent: does nothing when everything is present. Runs apt-get as root, or through sudo.
set -euo pipefail

# Building the program and showing its window.
run_packages=(
  build-essential cmake ninja-build pkg-config
  libfltk1.3-dev fonts-liberation fontconfig
  fluid  # FLTK's CMake package checks that its fluid exists, though nothing here uses it
)

# The tests, the Debian packages and their checks, the benchmarks, the demo, the Windows build.
test_packages=(
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  wine64 wine
  xvfb xdotool x11-utils imagemagick strace
  icoutils python3 python3-pil
  mingw-w64 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  clang libclang-rt-14-dev
  dpkg-dev fakeroot file lintian appstream desktop-file-utils man-db
)

case "${1:-test}" in
  run) packages=("${run_packages[@]}") ;;
  test) packages=("${run_packages[@]}" "${test_packages[@]}") ;;
  *) echo "usage: $0 [run|test]" >&2; exit 64 ;;
esac

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
