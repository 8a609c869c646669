#!/usr/bin/env bash
# Builds an installable package from the release presets.
#   scripts/package.sh deb [out-dir]  Debian package (CPack) of the linux preset
#   scripts/package.sh win [out-dir]  zip of the win64 preset: VeskRecorder.exe,
#                                     the helper, the FFmpeg DLLs, licences,
#                                     the speech model and a README in Chinese
# Prints the package's path. VESK_PACKAGE_NO_BUILD=1 packages the existing
# build as it is (the tests do, so they never start a build).
set -euo pipefail
cd "$(dirname "$0")/.."
kind=${1:-}
version=$(sed -n 's/^project(VeskRecorder VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)

build() {  # preset
  [ "${VESK_PACKAGE_NO_BUILD:-}" = 1 ] || nice -n 10 scripts/build.sh "$1" >/dev/null
}

case "$kind" in
  deb)
    out=$(realpath -m "${2:-build/linux/package}")
    build linux
    mkdir -p "$out"
    (cd build/linux && cpack -G DEB -B "$out" >/dev/null)
    rm -rf "$out/_CPack_Packages"
    ls "$out"/veskrecorder_"$version"_*.deb
    ;;
  win)
    out=$(realpath -m "${2:-build/win64/package}")
    build win64
    bin=build/win64/bin
    name=VeskRecorder-$version-win64
    stage=$(mktemp -d)
    trap 'rm -rf "$stage"' EXIT
    mkdir "$stage/$name"
    # The DLLs are the cross-built FFmpeg libraries and the thread runtime
    # they call; nothing else of the build folder (tests, fixtures) goes in.
    cp "$bin/VeskRecorder.exe" "$bin/VeskDenoise32.exe" "$bin/sh.rnnn" "$stage/$name/"
    # The build keeps debugging information; the shipped programs go without.
    x86_64-w64-mingw32-strip "$stage/$name/VeskRecorder.exe"
    i686-w64-mingw32-strip "$stage/$name/VeskDenoise32.exe"
    cp "$bin"/av*.dll "$bin"/sw*.dll "$bin"/libwinpthread-1.dll "$stage/$name/"
    cp -r "$bin/licenses" "$stage/$name/licenses"
    # Notepad reads UTF-8 reliably with the byte-order mark, and wants CR LF.
    { printf '\xEF\xBB\xBF'; sed 's/$/\r/' packaging/windows/README.txt; } >"$stage/$name/README.txt"
    mkdir -p "$out"
    rm -f "$out/$name.zip"
    (cd "$stage" && zip -qr -X "$out/$name.zip" "$name")
    ls "$out/$name.zip"
    ;;
  *)
    echo "usage: scripts/package.sh deb|win [out-dir]" >&2
    exit 2
    ;;
esac
