#!/usr/bin/env bash
# The loudness library (libebur128, MIT) for the Windows build: the upstream
# source of Debian 12's own package, pinned to the version the Linux build
# links (libebur128-dev), checked against the package's .dsc and unpacked
# once under ${XDG_CACHE_HOME:-~/.cache}/vesk/ebur128/<version>/. The Windows
# build compiles its one C file in (src/media links it).
#
# Usage: scripts/fetch-ebur128-source.sh   (prints the unpacked source folder)
set -euo pipefail
version=$(dpkg-query -W -f='${Version}' libebur128-dev)
source_version=${version%+b*}  # a binary rebuild shares its source
upstream=${source_version#*:}
upstream=${upstream%-*}
cache="${XDG_CACHE_HOME:-$HOME/.cache}/vesk/ebur128"
tree="$cache/$source_version/libebur128-$upstream"
if [ -f "$tree/ebur128/ebur128.c" ]; then
  echo "$tree"
  exit 0
fi
work=$(mktemp -d "$cache.tmp.XXXXXX" 2>/dev/null || { mkdir -p "$(dirname "$cache")"; mktemp -d "$cache.tmp.XXXXXX"; })
trap 'rm -rf "$work"' EXIT
cd "$work"
# Only the upstream tarball is needed; the packaging part may be missing.
apt-get source --download-only "libebur128=$source_version" >/dev/null 2>&1 || true
orig="libebur128_$upstream.orig.tar.gz"
dsc="libebur128_$source_version.dsc"
if [ ! -f "$orig" ] || [ ! -f "$dsc" ]; then
  echo "libebur128 source package $source_version could not be fetched (deb-src entry missing?)" >&2
  exit 1
fi
want=$(awk -v f="$orig" '/^Checksums-Sha256:/{on=1; next} /^[^ ]/{on=0} on && $3 == f {print $1}' "$dsc")
have=$(sha256sum "$orig" | cut -d' ' -f1)
if [ -z "$want" ] || [ "$want" != "$have" ]; then
  echo "libebur128 source $orig does not match its .dsc checksum" >&2
  exit 1
fi
mkdir -p "$work/unpacked"
tar -xzf "$orig" -C "$work/unpacked"
mkdir -p "$cache"
rm -rf "$cache/$source_version"
mv -T "$work/unpacked" "$cache/$source_version"
echo "$tree"
