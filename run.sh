#!/usr/bin/env bash
# Installs what is missing, builds the Linux program and runs it with the
# given arguments. Reports written by a headless mode are shown afterwards.
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh
scripts/build.sh linux >/dev/null
program=build/linux/bin/VeskRecorder
marker=$(mktemp)
set +e
"$program" "$@"
code=$?
set -e
# The data folder is the program's folder when it is writable.
data=build/linux/bin
[ -w "$data" ] || data="${XDG_CONFIG_HOME:-$HOME/.config}/VeskRecorder"
for report in "$data"/*-report.txt; do
  if [ -f "$report" ] && [ "$report" -nt "$marker" ]; then
    echo "== $(realpath "$report")"
    cat "$report"
  fi
done
rm -f "$marker"
exit $code
