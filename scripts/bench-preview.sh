#!/usr/bin/env bash
# Video preview on a 1080p H.264 video with a key frame every 2 s: seek
# request to picture, and the lag behind a play head moving at real time.
# VESK_BENCH_PREVIEW_VIDEO names the video (made once when missing).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh linux >/dev/null
cmake --build build/linux --target vesk_bench_preview >/dev/null
video=${VESK_BENCH_PREVIEW_VIDEO:-build/bench-preview-1080p.mp4}
if [ ! -f "$video" ]; then
  ffmpeg -nostdin -v error -y -f lavfi -i "testsrc2=size=1920x1080:rate=30:d=30" \
    -c:v libx264 -preset veryfast -g 60 -keyint_min 60 -sc_threshold 0 -pix_fmt yuv420p "$video"
fi
VESK_BENCH_PREVIEW_VIDEO="$video" build/linux/bin/vesk_bench_preview --benchmark_format=console
