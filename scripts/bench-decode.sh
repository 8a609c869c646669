#!/usr/bin/env bash
# Makes one-hour stereo MP3 and FLAC files (once, in the temp folder) and runs
# each decode benchmark in its own process, so the peak-memory figure belongs
# to that decode alone. Needs the linux build and the ffmpeg program.
set -euo pipefail
cd "$(dirname "$0")/.."
tmp="${TMPDIR:-/tmp}"
make_hour() {  # output, codec arguments...
  local out=$1; shift
  [ -s "$out" ] && return
  ffmpeg -nostdin -v error -y -f lavfi -i 'sine=f=440:d=3600:r=44100' -f lavfi -i 'anoisesrc=d=3600:r=44100:a=0.1' \
    -filter_complex '[0:a][1:a]join=inputs=2:channel_layout=stereo' "$@" "$out"
}
export VESK_BENCH_MP3="$tmp/vesk-bench-1h.mp3" VESK_BENCH_FLAC="$tmp/vesk-bench-1h.flac"
make_hour "$VESK_BENCH_MP3" -c:a libmp3lame -b:a 192k
make_hour "$VESK_BENCH_FLAC" -c:a flac
cmake --build build/linux --target vesk_bench_decode >/dev/null
for b in LoadAudioFile_Mp3 FfmpegProgram_Mp3 LoadAudioFile_Flac FfmpegProgram_Flac; do
  build/linux/bin/vesk_bench_decode --benchmark_filter="BM_${b}/" 2>/dev/null | grep BM_
done
