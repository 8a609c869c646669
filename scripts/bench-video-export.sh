#!/usr/bin/env bash
# Edited-video export of a 10-minute 1080p H.264 video against a plain ffmpeg
# mux of the same inputs. VESK_BENCH_VIDEO names the video (made once when
# missing; VESK_BENCH_SECONDS shortens it for a quick look).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh linux >/dev/null
cmake --build build/linux --target vesk_bench_video_export >/dev/null
seconds=${VESK_BENCH_SECONDS:-600}
video=${VESK_BENCH_VIDEO:-build/bench-video-${seconds}s.mp4}
if [ ! -f "$video" ]; then
  ffmpeg -nostdin -v error -y -f lavfi -i "testsrc2=size=1920x1080:rate=30:d=$seconds" \
    -c:v libx264 -preset ultrafast -pix_fmt yuv420p "$video"
fi
VESK_BENCH_VIDEO="$video" build/linux/bin/vesk_bench_video_export --benchmark_format=console
