#!/usr/bin/env bash
# Installs the Debian/Ubuntu packages Velmora needs to build, run and test (sudo when not root).
# Skips apt entirely when everything is already there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config python3 clang-format git
  gcc-avr binutils-avr avr-libc gdb-avr
  libfreetype-dev libfontconfig-dev fontconfig fonts-dejavu-core
  libgtest-dev libbenchmark-dev simavr libsimavr-dev libelf-dev
  libsdl2-dev
  # The JIT engine's code emitter (header-only).
  libxbyak-dev
  # The desktop program's tests: a private X server with the fonts its message boxes need,
  # real input, and pictures of windows.
  xvfb xfonts-base xdotool x11-utils imagemagick
  clang-14 libclang-rt-14-dev
  # The Windows programs: cross-built with mingw-w64, tested under wine.
  g++-mingw-w64-x86-64-posix wine wine64
)
# Regenerating test data needs more (ImageMagick for tests/data/images, xfonts-base for the
# glyph seeds in tools/fonts); building and testing does not.

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
