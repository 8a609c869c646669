#!/usr/bin/env bash
# Installs what is missing, builds every target (Linux, the threaded tests
# under ThreadSanitizer, Windows x64, the Windows x86 helper, the fuzzers) and
# runs every test: the unit and integration tests natively, the threaded ones
# again under ThreadSanitizer, the same test program under Wine, and a short
# fuzzing run.
set -uo pipefail
cd "$(dirname "$0")"
scripts/setup.sh || exit 1
scripts/build.sh linux tsan win64 win32 fuzz || exit 1
exec scripts/run-tests.sh
