#!/usr/bin/env bash
# Colours turned into the screen's. On an sRGB screen, red pictures of
# every format saved with a profile whose red and green are sRGB's green
# and red show green. On a screen whose published profile is that one, a
# red picture without a profile shows green too; with the setting off in
# plm.ini it shows red, as stored.
set -euo pipefail
PROGRAM=$1
PROFILE_TOOL=$2
source "$(dirname "$0")/x11_session.sh"
start_x

"$PROFILE_TOOL" --write "$E2E_TMP/swapped.icc"
mkdir -p "$E2E_TMP/tagged"
convert -size 64x48 xc:'#ff0000' -profile "$E2E_TMP/swapped.icc" PNG24:"$E2E_TMP/red.png"
# Each after a blue picture without a profile, so every change shows.
n=0
for ext in jpg png tif webp bmp; do
  n=$((n + 1))
  convert -size 64x48 xc:'#ff0000' -profile "$E2E_TMP/swapped.icc" "$E2E_TMP/tagged/${n}b.$ext"
done
heif-enc -q 90 "$E2E_TMP/red.png" -o "$E2E_TMP/tagged/6b.heic" >/dev/null
heif-enc -q 90 -A "$E2E_TMP/red.png" -o "$E2E_TMP/tagged/7b.avif" >/dev/null
cjxl "$E2E_TMP/red.png" "$E2E_TMP/tagged/8b.jxl" -d 0 --quiet
for n in 1 2 3 4 5 6 7 8; do convert -size 64x48 xc:'#0000ff' "$E2E_TMP/tagged/${n}a.jpg"; done
convert -size 640x480 xc:'#ff0000' "$E2E_TMP/red.jpg"
APPDIR=$E2E_TMP/app
mkdir -p "$APPDIR"

show() {  # plm.ini's own section and the list's one line; then the first picture
  printf '[Grobal]\r\nConfigVersion=2\r\n%s' "$1" >"$APPDIR/plm.ini"
  printf '%s\r\n' "$2" >"$APPDIR/default.txt"
  start_copy "$PROGRAM"
  show_pictures
}

show $'[Pelumir]\r\nMoreFormats=1\r\n' "$E2E_TMP/tagged"
for i in 1 2 3 4 5 6 7 8; do
  wait_screen 30 512 384 0 0 255
  xdotool click 1
  wait_screen 30 512 384 0 255 0
  [ "$i" -lt 8 ] && xdotool click 1
done
leave_show

"$PROFILE_TOOL" --publish swapped
show '' "$E2E_TMP/red.jpg"
wait_screen 30 512 384 0 255 0
leave_show
show $'[Pelumir]\r\nColourManagement=0\r\n' "$E2E_TMP/red.jpg"
wait_screen 30 512 384 255 0 0
leave_show
echo PASS
