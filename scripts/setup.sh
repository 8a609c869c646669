#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need, only when
# something is missing. Runs as root or through sudo.
set -euo pipefail

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

packages=(
  cmake ninja-build g++ pkg-config git
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  libavformat-dev libavcodec-dev libavfilter-dev libavutil-dev libswresample-dev libswscale-dev
  libmp3lame-dev libpulse-dev libebur128-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  ffmpeg sox pulseaudio pulseaudio-utils
  qt6-base-dev qt6-translations-l10n fonts-wqy-microhei fonts-symbola
  wine wine64 wine32:i386 xvfb
  dpkg-dev nasm zip unzip desktop-file-utils
  python3
  # Fonts for the window under Wine: the Chinese face "Microsoft YaHei UI"
  # is mapped to, symbols it lacks, and Wine's own (control glyphs).
  fonts-wqy-microhei fonts-symbola fonts-wine
)

# The Windows build cross-compiles FFmpeg from Debian's own source package,
# so apt needs the matching deb-src entries.
has_sources() { apt-get indextargets 2>/dev/null | grep -q '^MetaKey: .*/source/Sources'; }
add_sources() {
  local list=/etc/apt/sources.list.d/debian.sources
  if [ -f "$list" ]; then
    sed -e 's/^Types: deb$/Types: deb-src/' "$list" | "${sudo_cmd[@]}" tee /etc/apt/sources.list.d/vesk-deb-src.sources >/dev/null
  else
    grep -h '^deb ' /etc/apt/sources.list 2>/dev/null | sed 's/^deb /deb-src /' |
      "${sudo_cmd[@]}" tee /etc/apt/sources.list.d/vesk-deb-src.list >/dev/null
  fi
}

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
need_update=0
if ! has_sources; then
  add_sources
  need_update=1
fi
[ ${#missing[@]} -eq 0 ] && [ $need_update -eq 0 ] && exit 0

echo "setup: installing ${missing[*]:-nothing new (package sources added)}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${sudo_cmd[@]}" dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
[ ${#missing[@]} -eq 0 ] || "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
