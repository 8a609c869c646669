#!/usr/bin/env bash
# Runs a Windows program under Wine with a private, throw-away prefix, and
# ends that prefix's Wine server afterwards. Usage: wine-run.sh prog.exe [args]
set -u
prefix=$(mktemp -d "${TMPDIR:-/tmp}/vesk-wine.XXXXXX")
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
wine "$@"
rc=$?
wineserver -k 2>/dev/null
wineserver -w 2>/dev/null
rm -rf "$prefix"
exit $rc
