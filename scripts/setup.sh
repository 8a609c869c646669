#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need, only when
# something is missing. Runs as root or through sudo.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config git
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  libavformat-dev libavcodec-dev libavutil-dev libswresample-dev libswscale-dev
  libmp3lame-dev libpulse-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  ffmpeg sox pulseaudio pulseaudio-utils
  qt6-base-dev qt6-translations-l10n fonts-wqy-microhei fonts-symbola
  wine wine64 wine32:i386 xvfb
)

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${sudo_cmd[@]}" dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
