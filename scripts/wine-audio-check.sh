#!/usr/bin/env bash
# Runs a command with a private PulseAudio daemon for the WASAPI backend under
# Wine: two null sinks (Speakers plays 1 kHz through paplay, Headphones is
# silent; Wine lists their monitors as microphones), a pipe source fed with
# 440 Hz as the microphone, PULSE_SERVER pointing at it. Without a command it
# runs the Wasapi* tests of the win64 build (build/win64 must exist); with
# --selftest [args], runs a copy of VeskRecorder.exe --selftest [args] instead
# and prints its report.
# Usage: scripts/wine-audio-check.sh [--selftest [N] [--dev i] | command [args...]]
set -u
cd "$(dirname "$0")/.."
dir=$(mktemp -d "${TMPDIR:-/tmp}/vesk-pulse.XXXXXX")
export PULSE_SERVER="unix:$dir/native"
env HOME="$dir" XDG_RUNTIME_DIR="$dir" PULSE_RUNTIME_PATH="$dir" PULSE_STATE_PATH="$dir" XDG_CONFIG_HOME="$dir" \
  DBUS_SESSION_BUS_ADDRESS=disabled: pulseaudio -n --daemonize=no --exit-idle-time=-1 --disable-shm=yes -F /dev/null \
  "--load=module-native-protocol-unix socket=$dir/native auth-anonymous=1" >"$dir/daemon.log" 2>&1 &
daemon=$!
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  kill "$daemon" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$dir"
}
trap cleanup EXIT
up=0
for _ in $(seq 100); do pactl info >/dev/null 2>&1 && { up=1; break; }; sleep 0.05; done
# Without the daemon every test would run against nothing: stop here.
if [ "$up" -ne 1 ]; then
  echo "wine-audio-check: the PulseAudio daemon did not start" >&2
  cat "$dir/daemon.log" >&2
  exit 1
fi
pactl load-module module-null-sink sink_name=Speakers rate=48000 format=float32le channels=2 \
  sink_properties=device.description=Speakers >/dev/null
pactl load-module module-null-sink sink_name=Headphones rate=48000 format=float32le channels=2 \
  sink_properties=device.description=Headphones >/dev/null
pactl load-module module-pipe-source source_name=Microphone "file=$dir/mic.fifo" format=float32le rate=48000 \
  channels=1 >/dev/null
pactl set-default-sink Speakers
pactl set-default-source Microphone
parec --latency-msec=10 --device=Speakers.monitor /dev/null & pids+=($!)
parec --latency-msec=10 --device=Headphones.monitor /dev/null & pids+=($!)
sleep 0.3
pactl suspend-sink Speakers 1 && pactl suspend-sink Speakers 0
pactl suspend-sink Headphones 1 && pactl suspend-sink Headphones 0
sox -q -n -r 48000 -c 2 -b 16 "$dir/tone.wav" synth 10 sine 1000 vol 0.5
(while paplay --device=Speakers "$dir/tone.wav"; do :; done) & pids+=($!)
# 440 Hz mono float in 10 ms periods, paced like a capture device.
python3 - "$dir/mic.fifo" <<'PY' & pids+=($!)
import math, os, struct, sys, time
fd = os.open(sys.argv[1], os.O_WRONLY | os.O_NONBLOCK)
frame, due = 0, time.monotonic()
while True:
    due += 0.01
    time.sleep(max(0.0, due - time.monotonic()))
    block = struct.pack('<480f', *[0.5 * math.sin(2 * math.pi * 440 * ((frame + k) % 48000) / 48000) for k in range(480)])
    frame += 480
    try:
        os.write(fd, block)
    except OSError:
        pass
PY
if [ "${1:-}" = "--selftest" ]; then
  mkdir "$dir/program"
  # The program loads the FFmpeg DLLs from its own folder.
  cp build/win64/bin/VeskRecorder.exe build/win64/bin/*.dll "$dir/program/"
  scripts/wine-run.sh "$dir/program/VeskRecorder.exe" "$@"
  rc=$?
  cat "$dir/program/selftest-report.txt"
  echo "exit code $rc"
  exit $rc
fi
if [ $# -eq 0 ]; then
  set -- scripts/wine-run.sh build/win64/bin/vesk_tests.exe --gtest_filter='Wasapi*:*/Wasapi*'
fi
"$@"
