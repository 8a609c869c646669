#!/usr/bin/env bash
# Configures (once) and builds the given presets: linux, win64, win32, fuzz.
set -euo pipefail
cd "$(dirname "$0")/.."
for preset in "${@:-linux}"; do
  if [ ! -f "build/$preset/build.ninja" ]; then
    cmake --preset "$preset" >/dev/null
  fi
  cmake --build --preset "$preset"
done
