#!/usr/bin/env bash
# Configures (once) and builds the given presets: linux, tsan, win64, win32, fuzz.
set -euo pipefail
cd "$(dirname "$0")/.."
for preset in "${@:-linux}"; do
  # The Windows program links FFmpeg libraries cross-built once (and reused).
  [ "$preset" = win64 ] && scripts/build-ffmpeg-win64.sh >/dev/null
  if [ ! -f "build/$preset/build.ninja" ]; then
    cmake --preset "$preset" >/dev/null
  fi
  cmake --build --preset "$preset"
done
