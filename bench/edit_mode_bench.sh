#!/usr/bin/env bash
# Whole-process figures of the headless edit mode on a long take: 20 deletes
# and a save of an HOURS-long 48 kHz stereo 16-bit WAV, against copying the
# file; wall time and peak resident memory of each program given, in one run.
# Usage: bench/edit_mode_bench.sh HOURS PROGRAM [PROGRAM...]
#        (PROGRAM: a built VeskRecorder, e.g. build/linux/bin/VeskRecorder)
set -euo pipefail
hours=$1
shift
dir=$(mktemp -d "${TMPDIR:-/tmp}/vesk-edit-bench.XXXXXX")
trap 'rm -rf "$dir"' EXIT
seconds=$(awk -v h="$hours" 'BEGIN { printf "%d", h * 3600 }')
ffmpeg -v error -f lavfi -i "sine=f=440:d=$seconds:r=48000" -af aformat=channel_layouts=stereo -c:a pcm_s16le \
  "$dir/take.wav"
echo "take: $hours h, $(du -h "$dir/take.wav" | cut -f1)"
# Twenty 10 s deletes spread over the take, latest first so each range is
# where it was in the original.
deletes=()
for k in $(seq 20 -1 1); do
  at=$((seconds * k / 21))
  deletes+=(--delete "$at-$((at + 10))")
done
sync
/usr/bin/time -f "copy: %e s, peak %M KiB" cp "$dir/take.wav" "$dir/copy.wav"
rm -f "$dir/copy.wav"
for program in "$@"; do
  sync
  /usr/bin/time -f "$program: %e s, peak %M KiB" "$program" --edit "$dir/take.wav" "$dir/out.wav" "${deletes[@]}" \
    >/dev/null 2>"$dir/time.txt" || { cat "$dir/time.txt"; exit 1; }
  tail -n1 "$dir/time.txt"
  grep -E '^(ok|frames|err)=' "$(dirname "$program")/edit-report.txt" | tr '\n' ' '
  echo
  rm -f "$dir/out.wav"
done
