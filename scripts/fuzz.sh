#!/usr/bin/env bash
# A short, bounded libFuzzer run of every fuzz target (seconds each from
# VESK_FUZZ_SECONDS, default 20), seeded from tests/fuzz/corpus/<target>.
# Every tests/fuzz/<name>_fuzz.cpp must have its build/fuzz/bin/fuzz_<name>:
# a missing target fails the run instead of passing it by omission.
set -uo pipefail
cd "$(dirname "$0")/.."
seconds=${VESK_FUZZ_SECONDS:-20}
rc=0
for source in tests/fuzz/*_fuzz.cpp; do
  stem=$(basename "$source" _fuzz.cpp)
  name=fuzz_$stem
  target=build/fuzz/bin/$name
  if [ ! -x "$target" ]; then
    echo "fuzz $name: MISSING ($target was not built)"; rc=1
    continue
  fi
  work=$(mktemp -d)
  seeds="tests/fuzz/corpus/${name#fuzz_}"
  [ -d "$seeds" ] || seeds=""
  if "$target" -max_total_time="$seconds" -max_len=16384 -rss_limit_mb=2048 -print_final_stats=1 -seed=1 -artifact_prefix="$work/" \
       "$work" $seeds >"$work.log" 2>&1; then
    echo "fuzz $name: ok ($(grep -o 'stat::number_of_executed_units: [0-9]*' "$work.log" | tail -n1 | awk '{print $2}') runs)"
  else
    echo "fuzz $name: FAILED"; tail -n 40 "$work.log"; rc=1
  fi
  rm -rf "$work" "$work.log"
done
exit $rc
