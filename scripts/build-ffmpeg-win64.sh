#!/usr/bin/env bash
# Cross-builds the FFmpeg libraries the Windows program links, from Debian 12's
# own FFmpeg source package, pinned to the version of the FFmpeg libraries the
# Linux build uses (libavcodec-dev), in an LGPL configuration holding
# only what the program uses, as DLLs (so the LGPL libraries stay replaceable).
# Installs into build/ffmpeg-win64/ and skips the work while the stamp there
# matches this version and configuration.
#
# The build is also kept outside the checkout, in
# ${XDG_CACHE_HOME:-~/.cache}/vesk/ffmpeg-win64/<key>/ (key: the source
# package version and the configure line without the install prefix, which
# only names the checkout), with a checksum list, so a fresh clone on the
# same machine copies it instead of building again. A cache entry is built
# in a private folder and renamed into place, so two builds at once never
# see half of one; one whose checksums do not match is built again.
#
# Usage: scripts/build-ffmpeg-win64.sh   (prints the install folder)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
version=$(dpkg-query -W -f='${Version}' libavcodec-dev)
upstream=${version#*:}
upstream=${upstream%%-*}
out="$root/build/ffmpeg-win64"
work="$root/build/ffmpeg-win64-src"

demuxers="wav,w64,mp3,aac,ac3,eac3,mov,matroska,flac,ogg,asf,caf,aiff"
decoders="aac,aac_latm,mp1,mp1float,mp2,mp2float,mp3,mp3float,flac,vorbis,opus,wmav1,wmav2,wmapro,wmalossless"
decoders+=",alac,ac3,eac3,dca,pcm_s16le,pcm_s16be,pcm_s24le,pcm_s24be,pcm_s32le,pcm_s32be,pcm_f32le,pcm_f32be"
decoders+=",pcm_f64le,pcm_f64be,pcm_u8,pcm_s8,pcm_alaw,pcm_mulaw,h264,hevc,vp8,vp9,mpeg4,mjpeg"
parsers="aac,aac_latm,ac3,flac,mpegaudio,opus,vorbis,dca,h264,hevc,vp8,vp9,av1,mpeg4video,mjpeg"
muxers="mp4,mov,matroska,webm,null"
# The built-in noise reduction and the level tools run these filters in-process.
filters="aformat,aresample,anull,asendcmd,afftdn,arnndn,volume,alimiter,ebur128,highpass,bandreject"
config=(
  --prefix="$out" --enable-cross-compile --target-os=mingw32 --arch=x86_64
  --cross-prefix=x86_64-w64-mingw32- --cc=x86_64-w64-mingw32-gcc-posix
  --enable-shared --disable-static --disable-programs --disable-doc --disable-debug
  --disable-autodetect --disable-network --disable-avdevice --disable-postproc
  --disable-everything --enable-w32threads
  --enable-protocol=file --enable-bsfs
  --enable-demuxer="$demuxers" --enable-decoder="$decoders" --enable-parser="$parsers" --enable-muxer="$muxers"
  --enable-swresample --enable-swscale
  --enable-avfilter --disable-filters --enable-filter="$filters"
)
stamp="$version ${config[*]}"
if [ -f "$out/stamp" ] && [ "$(cat "$out/stamp")" = "$stamp" ]; then
  echo "$out"
  exit 0
fi

key=$(printf '%s\n' "$version" "${config[@]/#--prefix=*/--prefix}" | sha256sum | cut -c1-16)
cache="${XDG_CACHE_HOME:-$HOME/.cache}/vesk/ffmpeg-win64"
entry="$cache/$key"
# Copies a verified cache entry into the checkout. The pkg-config files name
# the folder the entry was first installed to: they are pointed at $out.
restore() {
  (cd "$entry" && sha256sum --quiet -c SHA256SUMS) >/dev/null 2>&1 || return 1
  rm -rf "$out"
  mkdir -p "$(dirname "$out")"
  cp -a "$entry/tree" "$out.tmp.$$" && mv -T "$out.tmp.$$" "$out" || return 1
  local from
  from=$(sed -n 's/^prefix=//p' "$out/lib/pkgconfig/libavutil.pc")
  sed -i "s|$from|$out|g" "$out"/lib/pkgconfig/*.pc
  printf '%s' "$stamp" >"$out/stamp"
}
if [ -d "$entry" ]; then
  restore && { echo "$out"; exit 0; }
  echo "ffmpeg cache entry $entry does not match its checksums: building again" >&2
  rm -rf "$entry"
fi

rm -rf "$work" "$out"
mkdir -p "$work"
(
  cd "$work"
  apt-get source --download-only "ffmpeg=$version" >/dev/null 2>&1 || {
    echo "ffmpeg source package $version could not be fetched (deb-src entry missing?)" >&2
    exit 1
  }
  dpkg-source -x "ffmpeg_${version#*:}.dsc" src >dpkg-source.log 2>&1 || { cat dpkg-source.log >&2; exit 1; }
)
(
  cd "$work/src"
  ./configure "${config[@]}" >"$work/configure.log" 2>&1 || { tail -20 "$work/configure.log" >&2; exit 1; }
  make -j"$(nproc)" >"$work/make.log" 2>&1 || { tail -30 "$work/make.log" >&2; exit 1; }
  make install >/dev/null
)
mkdir -p "$out/share/licenses"
cp "$work/src/COPYING.LGPLv2.1" "$out/share/licenses/FFmpeg-COPYING.LGPLv2.1"
printf 'FFmpeg %s (Debian source package ffmpeg %s), configured with:\n./configure %s\n' \
  "$upstream" "$version" "${config[*]}" >"$out/share/licenses/FFmpeg-configure.txt"
rm -rf "$work"

# Into the cache: a private folder renamed into place; a build that finished
# first keeps its entry.
mkdir -p "$cache"
staging=$(mktemp -d "$cache/.staging.XXXXXX")
cp -a "$out" "$staging/tree"
(cd "$staging" && find tree -type f -print0 | sort -z | xargs -0 sha256sum >SHA256SUMS)
mv -T "$staging" "$entry" 2>/dev/null || rm -rf "$staging"
printf '%s' "$stamp" >"$out/stamp"
echo "$out"
