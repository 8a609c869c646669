#!/usr/bin/env bash
# Draws the picture the donation window shows while no real payment code is
# configured: a plain card saying that donations are not set up. The result
# is committed as src/app/win/donate.png (resource 300 of VeskRecorder.exe);
# run this again only to change the picture. Needs ffmpeg with drawtext and
# the WenQuanYi Micro Hei font (fonts-wqy-microhei).
set -euo pipefail
cd "$(dirname "$0")/.."
font=/usr/share/fonts/truetype/wqy/wqy-microhei.ttc
out=src/app/win/donate.png
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
printf '%s' '♥' >"$tmp/t0"
printf '%s' '捐赠尚未设置' >"$tmp/t1"
printf '%s' '这个版本没有配置收款码，' >"$tmp/t2"
printf '%s' '不会引导你付款。' >"$tmp/t3"
printf '%s' '谢谢你愿意支持！' >"$tmp/t4"
line() {  # file, y, size, colour
  printf "drawtext=fontfile=%s:textfile=%s:x=(w-text_w)/2:y=%s:fontsize=%s:fontcolor=%s" "$font" "$1" "$2" "$3" "$4"
}
ffmpeg -hide_banner -loglevel error -y -f lavfi -i "color=c=0xF7F8FA:s=300x300" -frames:v 1 -vf \
"drawbox=x=8:y=8:w=284:h=284:color=0xC9CED6:t=2,\
$(line "$tmp/t0" 40 56 0xD93A32),\
$(line "$tmp/t1" 118 26 0x1F1F1F),\
$(line "$tmp/t2" 172 17 0x4A4F57),\
$(line "$tmp/t3" 200 17 0x4A4F57),\
$(line "$tmp/t4" 240 17 0x4A4F57)" \
  -pix_fmt rgb24 "$out"
echo "$out"
