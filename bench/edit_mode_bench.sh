#!/usr/bin/env bash
# Whole-process figures of the headless edit mode on a long take: 20 deletes
# and a save of an HOURS-long 48 kHz stereo 16-bit WAV, against copying the
# file; wall time and peak resident memory of each program given, in one run.
# Usage: bench/edit_mode_bench.sh HOURS PROGRAM [PROGRAM...]
#        (PROGRAM: a built VeskRecorder, e.g. build/linux/bin/VeskRecorder)
# VESK_BENCH_TAKE=FILE uses that take of HOURS instead (a take past one WAV
# file's limit: its first file; the segment files beside it are copied too).
set -euo pipefail
hours=$1
shift
dir=$(mktemp -d "${TMPDIR:-/tmp}/vesk-edit-bench.XXXXXX")
trap 'rm -rf "$dir"' EXIT
seconds=$(awk -v h="$hours" 'BEGIN { printf "%d", h * 3600 }')
take=$dir/take.wav
if [[ -n ${VESK_BENCH_TAKE:-} ]]; then
  take=$VESK_BENCH_TAKE
else
  ffmpeg -v error -f lavfi -i "sine=f=440:d=$seconds:r=48000" -af aformat=channel_layouts=stereo -c:a pcm_s16le \
    "$take"
fi
parts=("$take" "${take%.wav}"_[0-9][0-9].wav)
[[ -e ${parts[1]} ]] || parts=("$take")
echo "take: $hours h, $(du -ch "${parts[@]}" | tail -n1 | cut -f1) in ${#parts[@]} file(s)"
# Twenty 10 s deletes spread over the take, latest first so each range is
# where it was in the original.
deletes=()
for k in $(seq 20 -1 1); do
  at=$((seconds * k / 21))
  deletes+=(--delete "$at-$((at + 10))")
done
sync
mkdir "$dir/copy"
/usr/bin/time -f "copy: %e s, peak %M KiB" cp "${parts[@]}" "$dir/copy/"
rm -rf "$dir/copy"
for program in "$@"; do
  sync
  /usr/bin/time -f "$program: %e s, peak %M KiB" "$program" --edit "$take" "$dir/out.wav" "${deletes[@]}" \
    >/dev/null 2>"$dir/time.txt" || { cat "$dir/time.txt"; exit 1; }
  tail -n1 "$dir/time.txt"
  grep -E '^(ok|frames|err)=' "$(dirname "$program")/edit-report.txt" | tr '\n' ' '
  echo
  rm -f "$dir"/out*.wav
done
