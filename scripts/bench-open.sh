#!/usr/bin/env bash
# Opening a long file, whole process against whole process: `VeskRecorder
# --probe-audio` beside the ffmpeg program decoding the same file to float.
# Makes one-hour stereo files once (in the temp folder): a 48 kHz 16-bit WAV,
# a 44.1 kHz 192 kbps MP3, a 48 kHz 16-bit FLAC and a 48 kHz 192 kbps AAC in
# MP4 (.m4a); runs RUNS alternating pairs (default 5) and prints medians of
# wall, user and system time and peak memory from /usr/bin/time, with the
# fastest and slowest wall time of ours. A "load" line per file compares, in
# process (vesk_bench_open, RUNS alternating pairs, medians), the document's
# Load with the decode the probe runs on the same file.
# Usage: bench-open.sh [RUNS]   (needs the linux build and the ffmpeg program)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
tmp="${TMPDIR:-/tmp}"
wav="$tmp/vesk-bench-hour.wav"
mp3="$tmp/vesk-bench-hour.mp3"
flac="$tmp/vesk-bench-hour.flac"
m4a="$tmp/vesk-bench-hour.m4a"
# A tone on the left, noise on the right: neither compresses to nothing.
# Written under a temporary name, so an interrupted run is not taken for a
# finished file next time.
make() {  # make RATE OUTPUT ENCODER-ARGS...
  local rate=$1 out=$2 part="${2%.*}.part.${2##*.}"
  shift 2
  [ -s "$out" ] && return
  nice -n 19 ffmpeg -nostdin -v error -y -f lavfi -i "sine=f=440:d=3600:r=$rate" -f lavfi \
    -i "anoisesrc=d=3600:r=$rate:a=0.1" -filter_complex '[0:a][1:a]join=inputs=2:channel_layout=stereo' \
    "$@" "$part"
  mv "$part" "$out"
}
make 48000 "$wav" -c:a pcm_s16le
make 44100 "$mp3" -c:a libmp3lame -b:a 192k
make 48000 "$flac" -c:a flac -sample_fmt s16
make 48000 "$m4a" -c:a aac -b:a 192k
nice -n 19 cmake --build build/linux --target VeskRecorder vesk_bench_open >/dev/null
prog=$PWD/build/linux/bin/VeskRecorder
bench=$PWD/build/linux/bin/vesk_bench_open
# The probe writes its report into the data folder; keep it out of the home.
data=$(mktemp -d)
trap 'rm -rf "$data"' EXIT

# Prints "wall user sys maxKiB" of one run.
timed() { /usr/bin/time -f '%e %U %S %M' -o "$data/t" "$@" >/dev/null 2>&1 || true; cat "$data/t"; }
median() { sort -g | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
column_of() { awk -v c="$1" '{print $c}' "$2" | median; }

printf 'load before: %s\n' "$(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-5s %-7s %8s %8s %8s %9s %14s\n' file program wall user sys peakMiB 'ours min-max'
for f in "$wav" "$mp3" "$flac" "$m4a"; do
  kind=${f##*.}
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
    printf '%-5s %-7s %8s %8s %8s %9.0f %14s\n' "$kind" "$who" "$(column_of 1 "$data/$who")" \
      "$(column_of 2 "$data/$who")" "$(column_of 3 "$data/$who")" "$(echo "$(column_of 4 "$data/$who") / 1024" | bc -l)" \
      "$([ $who = ours ] && echo "$spread" || echo -)"
  done
  printf '%-5s ratio   %8.2f\n' "$kind" "$(echo "$(column_of 1 "$data/ours") / $(column_of 1 "$data/ffmpeg")" | bc -l)"
  # One open per process, alternating, so neither inherits the other's memory.
  : >"$data/probe"
  : >"$data/load"
  for _ in $(seq "$runs"); do
    for which in probe load; do
      filter=$([ $which = probe ] && echo BM_LoadAudioFile || echo BM_DocumentLoad)
      VESK_BENCH_WAV="$f" "$bench" --benchmark_filter="$filter" --benchmark_format=csv 2>/dev/null |
        awk -F, 'NR > 1 && $1 ~ /real_time"$/ {printf "%.0f\n", $3}' >>"$data/$which" || true
    done
  done
  probe=$(median <"$data/probe")
  load=$(median <"$data/load")
  if [ -n "$probe" ] && [ -n "$load" ] && [ "$probe" -gt 0 ]; then
    printf '%-5s load    probe decode %s ms, document Load %s ms, ratio %.2f\n' "$kind" "$probe" "$load" \
      "$(echo "$load / $probe" | bc -l)"
  else
    printf '%-5s load    (vesk_bench_open failed)\n' "$kind"
  fi
done
printf 'load after: %s\n' "$(cut -d' ' -f1-3 /proc/loadavg)"
