#!/usr/bin/env bash
# Runs every test suite of an existing build and ends with one summary line.
set -uo pipefail
cd "$(dirname "$0")/.."
passed=0
failed=0

count() {  # name, log file, exit code
  local p f
  p=$(sed -n 's/.*tests passed, \([0-9]*\) tests failed out of \([0-9]*\).*/\2 \1/p' "$2" | tail -n1)
  if [ -n "$p" ]; then
    set -- "$1" "$2" "$3" $p
    passed=$((passed + $4 - $5))
    failed=$((failed + $5))
  elif [ "$3" -eq 0 ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
  fi
}

log=$(mktemp)
echo "== Linux tests"
(cd build/linux && ctest --output-on-failure -j2) 2>&1 | tee "$log"
count linux "$log" "${PIPESTATUS[0]}"

echo "== Windows tests under Wine"
# The Windows test program compares its decoders with the ffmpeg program's
# output, which it cannot run itself: the media are made here.
media=build/win64/test-media
scripts/make-decode-media.sh "$media" >/dev/null || echo "decoder test media could not be made"
export VESK_DECODE_MEDIA="Z:$(realpath "$media" | tr / '\\')"
(cd build/win64 && ctest --output-on-failure) 2>&1 | tee "$log"
count wine "$log" "${PIPESTATUS[0]}"

echo "== Fuzzing (short bounded runs)"
scripts/fuzz.sh 2>&1 | tee "$log"
count fuzz "$log" "${PIPESTATUS[0]}"

rm -f "$log"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
