#!/usr/bin/env bash
# Opening a long file, whole process against whole process: `VeskRecorder
# --probe-audio` beside the ffmpeg program decoding the same file to float.
# Makes a one-hour 48 kHz stereo 16-bit WAV and a one-hour 44.1 kHz stereo
# 192 kbps MP3 once (in the temp folder), runs RUNS alternating pairs
# (default 5) and prints medians of wall, user and system time and peak
# memory from /usr/bin/time, with the fastest and slowest wall time of ours.
# Usage: bench-open.sh [RUNS]   (needs the linux build and the ffmpeg program)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
tmp="${TMPDIR:-/tmp}"
wav="$tmp/vesk-bench-hour.wav"
mp3="$tmp/vesk-bench-hour.mp3"
[ -s "$wav" ] || ffmpeg -nostdin -v error -y -f lavfi -i 'sine=f=440:d=3600:r=48000' -f lavfi \
  -i 'anoisesrc=d=3600:r=48000:a=0.1' -filter_complex '[0:a][1:a]join=inputs=2:channel_layout=stereo' \
  -c:a pcm_s16le "$wav"
[ -s "$mp3" ] || ffmpeg -nostdin -v error -y -f lavfi -i 'sine=f=440:d=3600:r=44100' -f lavfi \
  -i 'anoisesrc=d=3600:r=44100:a=0.1' -filter_complex '[0:a][1:a]join=inputs=2:channel_layout=stereo' \
  -c:a libmp3lame -b:a 192k "$mp3"
cmake --build build/linux --target VeskRecorder >/dev/null
prog=$PWD/build/linux/bin/VeskRecorder
# The probe writes its report into the data folder; keep it out of the home.
data=$(mktemp -d)
trap 'rm -rf "$data"' EXIT

# Prints "wall user sys maxKiB" of one run.
timed() { /usr/bin/time -f '%e %U %S %M' -o "$data/t" "$@" >/dev/null 2>&1 || true; cat "$data/t"; }
median() { sort -g | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
column_of() { awk -v c="$1" '{print $c}' "$2" | median; }

printf 'load before: %s\n' "$(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-5s %-7s %8s %8s %8s %9s %14s\n' file program wall user sys peakMiB 'ours min-max'
for f in "$wav" "$mp3"; do
  cat "$f" >/dev/null  # both programs read from the page cache
  : >"$data/ours"
  : >"$data/ffmpeg"
  for _ in $(seq "$runs"); do
    timed env HOME="$data" XDG_CONFIG_HOME="$data" XDG_DATA_HOME="$data" QT_QPA_PLATFORM=offscreen \
      "$prog" --probe-audio "$f" >>"$data/ours"
    timed ffmpeg -nostdin -v error -i "$f" -f f32le -y /dev/null >>"$data/ffmpeg"
  done
  spread=$(awk '{print $1}' "$data/ours" | sort -g | awk 'NR==1{a=$1} {b=$1} END {printf "%s-%s", a, b}')
  for who in ours ffmpeg; do
    printf '%-5s %-7s %8s %8s %8s %9.0f %14s\n' "${f##*.}" "$who" "$(column_of 1 "$data/$who")" \
      "$(column_of 2 "$data/$who")" "$(column_of 3 "$data/$who")" "$(echo "$(column_of 4 "$data/$who") / 1024" | bc -l)" \
      "$([ $who = ours ] && echo "$spread" || echo -)"
  done
  printf '%-5s ratio   %8.2f\n' "${f##*.}" "$(echo "$(column_of 1 "$data/ours") / $(column_of 1 "$data/ffmpeg")" | bc -l)"
done
printf 'load after: %s\n' "$(cut -d' ' -f1-3 /proc/loadavg)"
