#!/usr/bin/env bash
# Runs every test suite of an existing build and ends with one summary line,
# "N passed, N failed, N skipped" (tests that did not run, skipped or
# disabled, are not counted as passed). The Windows test program runs under
# Wine against a private PulseAudio daemon (scripts/wine-audio-check.sh), so
# the WASAPI tests run too.
set -uo pipefail
cd "$(dirname "$0")/.."
passed=0
failed=0
skipped=0

# ctest's per-test result lines: "Passed", "***Skipped", "***Not Run
# (Disabled)", anything else ("***Failed", "***Timeout", "***Exception") failed.
count_ctest() {  # log file, exit code
  local p s f
  p=$(grep -cE '^ *[0-9]+/[0-9]+ Test +#[0-9]+: .* +Passed +[0-9.]+ sec' "$1")
  s=$(grep -cE '^ *[0-9]+/[0-9]+ Test +#[0-9]+: .*\*\*\*(Skipped|Not Run \(Disabled\))' "$1")
  f=$(grep -E '^ *[0-9]+/[0-9]+ Test +#[0-9]+: ' "$1" | grep -cvE ' Passed +[0-9.]+ sec|\*\*\*(Skipped|Not Run \(Disabled\))')
  passed=$((passed + p)); skipped=$((skipped + s)); failed=$((failed + f))
  if [ "$2" -ne 0 ] && [ "$f" -eq 0 ]; then failed=$((failed + 1)); fi
}

# GoogleTest's own summary of one program run (the Wine run is one ctest
# entry): "[  PASSED  ] N", "[  SKIPPED ] N", "[  FAILED  ] N",
# "YOU HAVE N DISABLED TESTS". A run that ends without a summary failed.
count_gtest() {  # log file, exit code
  local p s f d
  p=$(sed -n 's/^.*\[  PASSED  \] \([0-9]*\) tests\{0,1\}\..*$/\1/p' "$1" | tail -n1)
  s=$(sed -n 's/^.*\[  SKIPPED \] \([0-9]*\) tests\{0,1\}[.,].*$/\1/p' "$1" | tail -n1)
  f=$(sed -n 's/^.*\[  FAILED  \] \([0-9]*\) tests\{0,1\}, listed below.*$/\1/p' "$1" | tail -n1)
  d=$(sed -n 's/^.*YOU HAVE \([0-9]*\) DISABLED TESTS\{0,1\}.*$/\1/p' "$1" | tail -n1)
  if [ -z "$p" ] && [ -z "$f" ]; then
    failed=$((failed + 1))
    return
  fi
  passed=$((passed + ${p:-0})); skipped=$((skipped + ${s:-0} + ${d:-0})); failed=$((failed + ${f:-0}))
  if [ "$2" -ne 0 ] && [ "${f:-0}" -eq 0 ]; then failed=$((failed + 1)); fi
}

log=$(mktemp)
echo "== Linux tests"
(cd build/linux && ctest --output-on-failure -j2) 2>&1 | tee "$log"
count_ctest "$log" "${PIPESTATUS[0]}"

echo "== Windows tests under Wine (with a private PulseAudio daemon)"
# The Windows test program compares its decoders with the ffmpeg program's
# output, which it cannot run itself: the media are made here.
media=build/win64/test-media
scripts/make-decode-media.sh "$media" >/dev/null || echo "decoder test media could not be made"
export VESK_DECODE_MEDIA="Z:$(realpath "$media" | tr / '\\')"
scripts/wine-audio-check.sh bash -c 'cd build/win64 && ctest --output-on-failure -V' 2>&1 | tee "$log"
count_gtest "$log" "${PIPESTATUS[0]}"

echo "== Fuzzing (short bounded runs)"
scripts/fuzz.sh 2>&1 | tee "$log"
rc=${PIPESTATUS[0]}
passed=$((passed + $(grep -cE '^fuzz [^ ]+: ok' "$log")))
f=$(grep -cE '^fuzz [^ ]+: (FAILED|MISSING)' "$log")
failed=$((failed + f))
if [ "$rc" -ne 0 ] && [ "$f" -eq 0 ]; then failed=$((failed + 1)); fi

rm -f "$log"
echo "$passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
