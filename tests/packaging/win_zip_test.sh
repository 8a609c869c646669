#!/usr/bin/env bash
# The Windows zip: made by scripts/package.sh from the existing win64 build,
# unpacked into an empty folder and started from there under Wine with
# --selftest 1, with the private PulseAudio daemon. The program must start
# and write its report beside itself (the unpacked folder is its data
# folder); under Wine the MP3 checks fail by design, so the exit code is 1.
set -uo pipefail
cd "$(dirname "$0")/../.."
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

zip=$(VESK_PACKAGE_NO_BUILD=1 scripts/package.sh win "$work/out") || { echo "FAILED: scripts/package.sh win"; exit 1; }
echo "zip: $(basename "$zip"), $(stat -c %s "$zip") bytes"
unzip -q "$zip" -d "$work/unz" || { echo "FAILED: unzip"; exit 1; }
folder=$(echo "$work"/unz/VeskRecorder-*-win64)
(cd "$folder" && find . -type f | sort)
for f in VeskRecorder.exe VeskDenoise32.exe sh.rnnn README.txt libwinpthread-1.dll avcodec-59.dll avfilter-8.dll \
  avformat-59.dll avutil-57.dll swresample-4.dll swscale-6.dll licenses/sh.rnnn-README.md; do
  [ -f "$folder/$f" ] || fail "not in the zip: $f"
done
ls "$folder"/licenses | grep -qi lgpl || fail "no LGPL text in licenses/"
find "$folder" -iname '*test*' | grep -q . && fail "test files in the zip"

scripts/wine-audio-check.sh scripts/wine-run.sh "$folder/VeskRecorder.exe" --selftest 1 >"$work/run.log" 2>&1
code=$?
report="$folder/selftest-report.txt"
echo "selftest from the unpacked folder: exit code $code"
[ -f "$report" ] || { cat "$work/run.log"; fail "no selftest-report.txt beside the program"; }
[ -f "$report" ] && sed 's/\r$//' "$report" | head -n 40
[ "$code" -le 1 ] || fail "selftest exit code $code (0 or 1 expected)"
[ "$failures" -eq 0 ] && echo "win zip: ok"
[ "$failures" -eq 0 ]
