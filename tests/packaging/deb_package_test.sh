#!/usr/bin/env bash
# The Debian package on this machine: made by scripts/package.sh from the
# existing linux build, installed with dpkg, its program run from /usr/bin,
# then removed, leaving nothing of it behind, also when a check fails on the
# way. Skipped (exit 77) only where dpkg is missing.
set -uo pipefail
cd "$(dirname "$0")/../.."
if ! command -v dpkg >/dev/null; then
  echo "skipped: dpkg is missing"
  exit 77
fi
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo -n)
work=$(mktemp -d)
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
installed() { dpkg-query -W -f='${Status}' veskrecorder 2>/dev/null | grep -q ' installed$'; }
cleanup() {
  installed && "${sudo[@]}" dpkg -r veskrecorder >/dev/null 2>&1
  rm -rf "$work"
}
# One package install at a time on this machine, whichever checkout runs it.
exec 9>"${TMPDIR:-/tmp}/vesk-deb-test.lock"
flock 9
if installed; then
  echo "FAILED: veskrecorder is installed already; this test would remove it (dpkg -r veskrecorder first)"
  exit 1
fi
trap cleanup EXIT

deb=$(VESK_PACKAGE_NO_BUILD=1 scripts/package.sh deb "$work/out") || { echo "FAILED: scripts/package.sh deb"; exit 1; }
depends=$(dpkg-deb -f "$deb" Depends)
echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes"
echo "Depends: $depends"
for lib in libqt6widgets6 libavformat59 libavcodec59 libavfilter8 libavutil57 libswresample4 libmp3lame0 libpulse0; do
  grep -q "\b$lib\b" <<<"$depends" || fail "Depends lacks $lib"
done
mapfile -t files < <(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print substr($6, 2)}')

"${sudo[@]}" dpkg -i "$deb" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg -i"; }
for f in /usr/bin/VeskRecorder /usr/bin/VeskDenoise32 /usr/share/VeskRecorder/sh.rnnn \
  /usr/share/VeskRecorder/licenses/sh.rnnn-README.md /usr/share/applications/VeskRecorder.desktop \
  /usr/share/icons/hicolor/48x48/apps/VeskRecorder.png /usr/share/icons/hicolor/scalable/apps/VeskRecorder.svg; do
  [ -f "$f" ] || fail "not installed: $f"
done
grep -qx 'Exec=VeskRecorder %F' /usr/share/applications/VeskRecorder.desktop || fail "desktop entry: Exec"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate /usr/share/applications/VeskRecorder.desktop || fail "desktop-file-validate"
fi

# The installed program keeps its data per user, not beside itself in /usr/bin.
home="$work/home"
mkdir -p "$home"
ffmpeg -v error -f lavfi -i "sine=frequency=440:duration=1:sample_rate=44100" -ac 2 "$work/some.wav" ||
  fail "ffmpeg could not make the test tone"
env -i PATH=/usr/bin:/bin HOME="$home" XDG_CONFIG_HOME="$home/config" \
  /usr/bin/VeskRecorder --probe-audio "$work/some.wav" >"$work/run.log" 2>&1
code=$?
report="$home/config/VeskRecorder/probe-audio-report.txt"
echo "installed run: exit code $code, report $report"
[ -f "$report" ] && cat "$report"
[ "$code" -eq 0 ] || { cat "$work/run.log"; fail "--probe-audio exit code $code"; }
grep -q '^rate=44100$' "$report" 2>/dev/null || fail "report lacks rate=44100"
[ -e /usr/bin/probe-audio-report.txt ] && fail "report written into /usr/bin"

"${sudo[@]}" dpkg -r veskrecorder >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg -r"; }
dpkg-query -W -f='${Status}\n' veskrecorder 2>/dev/null | grep -qv 'not-installed' && fail "dpkg still lists the package"
for f in "${files[@]}" /usr/share/VeskRecorder /usr/share/doc/veskrecorder; do
  [ -e "$f" ] && fail "left after dpkg -r: $f"
done
[ "$failures" -eq 0 ] && echo "deb package: ok"
[ "$failures" -eq 0 ]
