#!/usr/bin/env bash
# Runs a Windows program under Wine with a private, throw-away prefix, and
# ends that prefix's Wine server afterwards. Usage: wine-run.sh prog.exe [args]
#
# Windows need a display: without DISPLAY a private Xvfb server is started
# for the run, and Wine draws windows whole (no window-manager decorations).
# The prefix maps the window font "Microsoft YaHei UI" and the dialog fonts
# of message boxes and captions (MS Shell Dlg, MS Shell Dlg 2, Segoe UI; and
# Tahoma, by a font link, since Wine's own Tahoma has no Chinese) to
# WenQuanYi Micro Hei, with Symbola linked behind it for the symbols it
# lacks, so texts render as on Windows (fonts-wqy-microhei, fonts-symbola,
# fonts-wine). Under VESK_REQUIRE_REAL_PARTS=1 a display that
# cannot be had ends the run with exit code 1.
set -u
prefix=$(mktemp -d "${TMPDIR:-/tmp}/vesk-wine.XXXXXX")
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64

xvfb=
if [ -z "${DISPLAY:-}" ] && command -v Xvfb >/dev/null 2>&1; then
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$prefix/display" >/dev/null 2>&1 &
  xvfb=$!
  for _ in $(seq 200); do [ -s "$prefix/display" ] && break; sleep 0.05; done
  export DISPLAY=":$(head -n1 "$prefix/display")"
fi
if [ -z "${DISPLAY:-}" ] || [ "$DISPLAY" = ":" ]; then
  echo "wine-run: no display (Xvfb is missing or did not start)" >&2
  if [ "${VESK_REQUIRE_REAL_PARTS:-}" = 1 ]; then
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
    rm -rf "$prefix"
    exit 1
  fi
fi

# Wine's usual loader is its 32-bit one, and some kernels run no 32-bit
# programs at all ("Exec format error"): 64-bit programs then go straight
# to the 64-bit loader, and the run is told (VESK_WINE_NO_32BIT=1, which the
# tests of the x86 helper read) that no 32-bit program can start here.
wine=wine
if ! wine --version >/dev/null 2>&1 && /usr/lib/wine/wine64 --version >/dev/null 2>&1; then
  wine=/usr/lib/wine/wine64
  export VESK_WINE_NO_32BIT=1
  echo "wine-run: this machine runs no 32-bit programs; using Wine's 64-bit loader" >&2
fi

cat >"$prefix/settings.reg" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"Microsoft YaHei UI"="WenQuanYi Micro Hei"
"Microsoft YaHei"="WenQuanYi Micro Hei"
"Tahoma"="WenQuanYi Micro Hei"
"MS Shell Dlg"="WenQuanYi Micro Hei"
"MS Shell Dlg 2"="WenQuanYi Micro Hei"
"Segoe UI"="WenQuanYi Micro Hei"

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Decorated"="N"
REG
"$wine" reg import "Z:${prefix//\//\\}\\settings.reg" >/dev/null 2>&1
"$wine" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' /v 'WenQuanYi Micro Hei' \
  /t REG_MULTI_SZ /d 'Symbola_hint.ttf,Symbola' /f >/dev/null 2>&1
# Tahoma is installed below, and a replacement never stands in for an
# installed face: it gets WenQuanYi Micro Hei linked behind it instead, as
# Windows links its CJK fonts behind Tahoma.
"$wine" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' /v 'Tahoma' \
  /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f >/dev/null 2>&1

# Wine's own control glyphs (Marlett: split-button and menu arrows) and
# dialog font, where this Wine does not find them by itself.
for font in /usr/share/wine/fonts/marlett.ttf /usr/share/wine/fonts/tahoma*.ttf; do
  [ -f "$font" ] && cp "$font" "$prefix/drive_c/windows/Fonts/" 2>/dev/null
done

"$wine" "$@"
rc=$?
wineserver -k 2>/dev/null
wineserver -w 2>/dev/null
[ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
rm -rf "$prefix"
exit $rc
