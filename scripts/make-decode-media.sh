#!/usr/bin/env bash
# Makes the decoder test media listed in tests/fixtures/media/decode_cases.txt
# in OUTDIR with the ffmpeg program, each with the program's own float decode
# of its first audio stream (<name>.0.f32), and copies the list there. The
# Linux tests call it for themselves; the test run calls it once for the
# Windows test program, which cannot run the Linux ffmpeg program under Wine.
# Files already present are kept.  Usage: make-decode-media.sh OUTDIR
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cases="$here/tests/fixtures/media/decode_cases.txt"
out=$1
mkdir -p "$out"
join="-filter_complex '[0:a][1:a]join=inputs=2:channel_layout=stereo[st]' -map '[st]'"
while IFS=';' read -r name rate channels args; do
  case "$name" in ''|'#'*) continue ;; esac
  [ -s "$out/$name" ] && [ -s "$out/$name.0.f32" ] && continue
  args=$(printf '%s' "$args" | sed -E "s/\{TONE:([0-9]+)\}/-f lavfi -i sine=f=440:d=2:r=\1 -f lavfi -i sine=f=660:d=2:r=\1/g")
  args=${args//\{JOIN\}/$join}
  eval "ffmpeg -nostdin -v error -y $args '$out/$name'"
  ffmpeg -nostdin -v error -y -i "$out/$name" -map 0:a:0 -f f32le "$out/$name.0.f32"
done <"$cases"
cp "$cases" "$out/cases.txt"
