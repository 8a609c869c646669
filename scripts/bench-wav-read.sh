#!/usr/bin/env bash
# Reads a one-hour 48 kHz stereo 16-bit WAV (about 660 MB) with ReadWavFile and
# compares with a plain read (cat, warm cache) and the ffmpeg program's
# decode to float. Prints wall times and ReadWavFile's peak memory.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh linux >/dev/null
wav=${VESK_BENCH_WAV:-build/bench-1h.wav}
if [ ! -f "$wav" ]; then
  sox -n -r 48000 -c 2 -b 16 "$wav" synth 3600 sine 440 sine 660 vol 0.5
fi
bytes=$(stat -c %s "$wav")
cat "$wav" >/dev/null  # warm the cache

t() { local s e; s=$(date +%s.%N); "$@" >/dev/null 2>&1; e=$(date +%s.%N); echo "$e - $s" | bc; }
echo "file: $wav ($bytes bytes)"
echo "cat:            $(t cat "$wav") s"
echo "ffmpeg f32le:   $(t ffmpeg -v error -i "$wav" -f f32le -y /dev/null) s"
out=$(mktemp)
/usr/bin/time -f "%M" -o "$out" env VESK_BENCH_WAV="$wav" build/linux/bin/vesk_bench_wav_read \
  --benchmark_format=console 2>&1 | grep -E "BM_|sample_bytes" || true
rss_kb=$(cat "$out")
rm -f "$out"
sample_bytes=$(( (bytes - 44) * 2 ))
echo "peak RSS:       $((rss_kb / 1024)) MiB for $((sample_bytes / 1048576)) MiB of samples" \
     "(ratio $(echo "scale=3; $rss_kb * 1024 / $sample_bytes" | bc))"
