#!/usr/bin/env bash
# Runs every test suite of an existing build and ends with the names of the
# tests that failed, hung or were skipped, then one summary line,
# "N passed, N failed, N skipped" (tests that did not run, skipped or
# disabled, are not counted as passed). The Windows test program runs under
# Wine against a private PulseAudio daemon (scripts/wine-audio-check.sh), so
# the WASAPI tests run too.
#
# Set-up installs every real part the tests use (the sound server, Wine,
# Xvfb, ffmpeg, sox): VESK_REQUIRE_REAL_PARTS=1 makes a test whose part is
# missing or does not start fail with the reason instead of skipping.
#
# Usage: scripts/run-tests.sh
#        scripts/run-tests.sh --count-ctest LOG RC | --count-gtest LOG RC [PROGRESS]
#          (counts one saved log as the run would, and prints the summary)
set -uo pipefail
cd "$(dirname "$0")/.."
export VESK_REQUIRE_REAL_PARTS=1
passed=0
failed=0
skipped=0
notes=()  # one line per failed, hung or skipped test

# ctest's per-test result lines: "Passed", "***Skipped", "***Not Run
# (Disabled)", anything else ("***Failed", "***Timeout", "***Exception") failed.
count_ctest() {  # log file, exit code, stage name
  local line name result f=0
  while IFS= read -r line; do
    name=$(sed -E 's/^ *[0-9]+\/[0-9]+ +Test +#[0-9]+: ([^ ]+) .*$/\1/' <<<"$line")
    result=$(sed -E 's/^.*(Passed|\*\*\*[A-Za-z]+[^0-9]*) +[0-9.]+ sec.*$/\1/; s/ +$//' <<<"$line")
    case "$result" in
      Passed) passed=$((passed + 1)) ;;
      '***Skipped'*|'***Not Run (Disabled)'*) skipped=$((skipped + 1)); notes+=("skipped  $3: $name") ;;
      '***Timeout'*) f=$((f + 1)); notes+=("HUNG     $3: $name (killed at its time limit)") ;;
      *) f=$((f + 1)); notes+=("FAILED   $3: $name (${result#\*\*\*})") ;;
    esac
  done < <(grep -E '^ *[0-9]+/[0-9]+ +Test +#[0-9]+: ' "$1")
  failed=$((failed + f))
  if [ "$2" -ne 0 ] && [ "$f" -eq 0 ]; then
    failed=$((failed + 1)); notes+=("FAILED   $3: ctest ended with exit code $2")
  fi
}

# One program run under GoogleTest's brief printer (the Wine run is one ctest
# entry), which prints "[==========] N tests from M test suites ran.",
# "[  PASSED  ] N tests.", "[  SKIPPED ] N tests." and a "[  FAILED  ] Name"
# line per failed test, but no count of the failed ones: they are the ones
# that ran and neither passed nor were skipped. Skipped tests are named by
# "[  SKIPPED ] Name: reason" lines (tests/support/progress_listener.cpp). A
# run that ends without a summary crashed or hung; the progress file names the
# test that was running.
count_gtest() {  # log file, exit code, stage name, progress file
  local ran p s d f name
  ran=$(sed -n 's/^.*\[==========\] \([0-9]*\) tests\{0,1\} from .* ran\..*$/\1/p' "$1" | tail -n1)
  p=$(sed -n 's/^.*\[  PASSED  \] \([0-9]*\) tests\{0,1\}\..*$/\1/p' "$1" | tail -n1)
  s=$(sed -n 's/^.*\[  SKIPPED \] \([0-9]*\) tests\{0,1\}[.,].*$/\1/p' "$1" | tail -n1)
  d=$(sed -n 's/^.*YOU HAVE \([0-9]*\) DISABLED TESTS\{0,1\}.*$/\1/p' "$1" | tail -n1)
  local named=0
  while IFS= read -r name; do named=$((named + 1)); notes+=("FAILED   $3: $name"); done < <(
    sed -n 's/^.*\[  FAILED  \] \([^ ,]*\.[^ ,]*\).*$/\1/p' "$1" | sort -u)
  while IFS= read -r name; do notes+=("skipped  $3: $name"); done < <(
    sed -n 's/^.*\[  SKIPPED \] \([^ ]*\.[^ :]*: .*\)$/\1/p' "$1" | sort -u)
  if [ -z "$ran" ] || [ -z "$p" ]; then
    # What failed before the end, and the end itself.
    name=$(cat "${4:-/dev/null}" 2>/dev/null)
    failed=$((failed + named + 1))
    if grep -q '\*\*\*Timeout' "$1"; then
      notes+=("HUNG     $3: ${name:-the program} (killed at its time limit)")
    else
      notes+=("FAILED   $3: the program ended without a summary${name:+ while running $name} (exit code $2)")
    fi
    return
  fi
  f=$((ran - p - ${s:-0}))
  passed=$((passed + p)); skipped=$((skipped + ${s:-0} + ${d:-0})); failed=$((failed + f))
  if [ "$2" -ne 0 ] && [ "$f" -eq 0 ]; then
    failed=$((failed + 1)); notes+=("FAILED   $3: exit code $2 although every test passed")
  fi
}

summary() {
  local note
  [ ${#notes[@]} -eq 0 ] || echo "== Summary"
  for note in "${notes[@]}"; do echo "$note"; done
  echo "$passed passed, $failed failed, $skipped skipped"
  [ "$failed" -eq 0 ]
}

case "${1:-}" in
  --count-ctest) count_ctest "$2" "$3" "Linux"; summary; exit ;;
  --count-gtest) count_gtest "$2" "$3" "Wine" "${4:-}"; summary; exit ;;
esac

log=$(mktemp)
progress=$(mktemp)
trap 'rm -f "$log" "$progress"' EXIT

echo "== Linux tests"
(cd build/linux && ctest --output-on-failure -j2) 2>&1 | tee "$log"
count_ctest "$log" "${PIPESTATUS[0]}" "Linux"

echo "== Threaded tests under ThreadSanitizer"
if [ -d build/tsan ]; then
  (cd build/tsan && ctest --output-on-failure -j2) 2>&1 | tee "$log"
  count_ctest "$log" "${PIPESTATUS[0]}" "tsan"
else
  failed=$((failed + 1)); notes+=("FAILED   tsan: build/tsan is missing (scripts/build.sh tsan)")
fi

echo "== Windows tests under Wine (with a private PulseAudio daemon)"
# The Windows test program compares its decoders with the ffmpeg program's
# output, which it cannot run itself: the media are made here.
media=build/win64/test-media
scripts/make-decode-media.sh "$media" >/dev/null || echo "decoder test media could not be made"
export VESK_DECODE_MEDIA="Z:$(realpath "$media" | tr / '\\')"
: >"$progress"
VESK_TEST_PROGRESS="Z:$(tr / '\\' <<<"$progress")" \
  scripts/wine-audio-check.sh bash -c 'cd build/win64 && ctest --output-on-failure -V' 2>&1 | tee "$log"
count_gtest "$log" "${PIPESTATUS[0]}" "Wine" "$progress"

echo "== Windows zip, unpacked and started under Wine"
tests/packaging/win_zip_test.sh 2>&1 | tee "$log"
if [ "${PIPESTATUS[0]}" -eq 0 ]; then
  passed=$((passed + 1))
else
  failed=$((failed + 1)); notes+=("FAILED   package: the Windows zip (tests/packaging/win_zip_test.sh)")
fi

echo "== Fuzzing (short bounded runs)"
scripts/fuzz.sh 2>&1 | tee "$log"
rc=${PIPESTATUS[0]}
passed=$((passed + $(grep -cE '^fuzz [^ ]+: ok' "$log")))
f=0
while IFS= read -r line; do f=$((f + 1)); notes+=("FAILED   fuzz: ${line#fuzz }"); done < <(grep -E '^fuzz [^ ]+: (FAILED|MISSING)' "$log")
failed=$((failed + f))
if [ "$rc" -ne 0 ] && [ "$f" -eq 0 ]; then failed=$((failed + 1)); notes+=("FAILED   fuzz: exit code $rc"); fi

summary
