#!/usr/bin/env bash
# The test run's own counting (scripts/run-tests.sh) on real ctest output: a
# test that passes, one that fails, one that skips and one that hangs until
# ctest kills it at its time limit; then a Windows program run that was killed
# in the middle of a test. Each must be counted and named in the summary.
set -uo pipefail
runner="$(cd "$(dirname "$0")/../.." && pwd)/scripts/run-tests.sh"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

cat >"$dir/CTestTestfile.cmake" <<'CTEST'
add_test(Demo.Passes "true")
add_test(Demo.Fails "false")
add_test(Demo.Skips "sh" "-c" "exit 77")
set_tests_properties(Demo.Skips PROPERTIES SKIP_RETURN_CODE 77)
add_test(Demo.Hangs "sleep" "600")
set_tests_properties(Demo.Hangs PROPERTIES TIMEOUT 2)
CTEST
start=$(date +%s)
(cd "$dir" && ctest -j2) >"$dir/ctest.log" 2>&1
rc=$?
[ $(($(date +%s) - start)) -lt 60 ] || fail "the hung test was not killed at its limit"
out=$("$runner" --count-ctest "$dir/ctest.log" "$rc") && fail "a run with failures ended with exit code 0"
echo "$out"
grep -qx 'HUNG     Linux: Demo.Hangs (killed at its time limit)' <<<"$out" || fail "the hung test is not named"
grep -qx 'FAILED   Linux: Demo.Fails (Failed)' <<<"$out" || fail "the failed test is not named"
grep -qx 'skipped  Linux: Demo.Skips' <<<"$out" || fail "the skipped test is not named"
grep -qx '1 passed, 2 failed, 1 skipped' <<<"$out" || fail "wrong counts"

# The Windows program under Wine is one ctest entry: killed at its limit in
# the middle of a test, it prints no summary; the progress file names the test.
cat >"$dir/wine.log" <<'LOG'
1: [       OK ] Suite.Before (12 ms)
1: [ RUN      ] Suite.Hangs
1/1 Test #1: vesk_tests_wine ..................***Timeout 900.05 sec
LOG
echo "Suite.Hangs" >"$dir/progress"
out=$("$runner" --count-gtest "$dir/wine.log" 8 "$dir/progress") && fail "a hung program ended with exit code 0"
echo "$out"
grep -qx 'HUNG     Wine: Suite.Hangs (killed at its time limit)' <<<"$out" || fail "the hung Windows test is not named"
grep -qx '0 passed, 1 failed, 0 skipped' <<<"$out" || fail "wrong counts for the hung program"
echo "ok"
