#!/usr/bin/env bash
# A folder of mixed formats, shown with the other formats switched on in
# plm.ini: a PNG with a half-transparent part composed onto black, a JPEG,
# a PNG named ".jpg", a WebP, a GIF, a TIFF stored standing whose
# Orientation tag lays it down, a JPEG XL made from a photo tagged to be
# turned (the turn goes into the picture, shown turned once, whatever its
# Exif box still says), a HEIC with a transparent half, an AVIF and a
# moving GIF, which plays; the text file is not collected. Switched off, the same folder plays its
# ".jpg" files alone, and the PNG named ".jpg" is the black frame.
set -euo pipefail
PROGRAM=$1
source "$(dirname "$0")/x11_session.sh"
start_x

mkdir -p "$E2E_TMP/mixed"
convert -size 800x600 xc:'rgba(0,0,255,0.5)' -fill '#ff0000' -draw 'rectangle 400,0 799,599' \
  PNG32:"$E2E_TMP/mixed/a.png"
convert -size 640x480 xc:'#00ff00' "$E2E_TMP/mixed/b.jpg"
convert -size 640x480 xc:'#0000ff' PNG24:"$E2E_TMP/mixed/c.jpg"
echo text >"$E2E_TMP/mixed/d.txt"
convert -size 320x240 xc:'#ffff00' -define webp:lossless=true "$E2E_TMP/mixed/e.WEBP"
convert -size 200x100 xc:'#ff00ff' "$E2E_TMP/mixed/f.gif"
convert -size 100x200 xc:'#00ffff' -orient RightTop "$E2E_TMP/mixed/g.tif"
# Stored 640 x 480, red above blue, with an EXIF segment saying "turn right".
convert -size 640x240 xc:'#ff0000' -size 640x240 xc:'#0000ff' -append "$E2E_TMP/photo.jpg"
{ printf '\xff\xd8\xff\xe1\x00\x22Exif\x00\x00MM\x00\x2a\x00\x00\x00\x08\x00\x01'
  printf '\x01\x12\x00\x03\x00\x00\x00\x01\x00\x06\x00\x00\x00\x00\x00\x00'
  tail -c +3 "$E2E_TMP/photo.jpg"; } >"$E2E_TMP/tagged.jpg"
cjxl "$E2E_TMP/tagged.jpg" "$E2E_TMP/mixed/h.jxl" --quiet
convert -size 400x200 xc:'#20c060' -alpha set -region 200x200+200+0 -alpha transparent +region \
  PNG32:"$E2E_TMP/i.png"
heif-enc -q 90 "$E2E_TMP/i.png" -o "$E2E_TMP/mixed/i.heic" >/dev/null
convert -size 150x300 xc:'#8040ff' PNG24:"$E2E_TMP/j.png"
heif-enc -q 90 -A "$E2E_TMP/j.png" -o "$E2E_TMP/mixed/j.avif" >/dev/null
convert -delay 60 -size 300x200 xc:'#ffff00' xc:'#00ffff' -loop 0 "$E2E_TMP/mixed/k.gif"

APPDIR=$E2E_TMP/app
mkdir -p "$APPDIR"
printf '[Grobal]\r\nConfigVersion=2\r\n[Pelumir]\r\nMoreFormats=1\r\n' >"$APPDIR/plm.ini"
printf '%s\r\n' "$E2E_TMP/mixed" >"$APPDIR/default.txt"  # the folder, as the list's one line
start_copy "$PROGRAM"
show_pictures
# 800 x 600 at (112, 84): the left half blue at half strength on black.
wait_screen 30 700 300 255 0 0
expect_colour 300 300 0 0 128
expect_colour 111 300 0 0 0
xdotool click 1
wait_screen 30 500 300 0 255 0
xdotool click 1
wait_screen 30 500 300 0 0 255
expect_colour 191 300 0 0 0
xdotool click 1
wait_screen 30 500 300 255 255 0
expect_colour 351 300 0 0 0
xdotool click 1
wait_screen 30 500 380 255 0 255
expect_colour 500 434 0 0 0
xdotool click 1
wait_screen 30 600 380 0 255 255
expect_colour 500 434 0 0 0
xdotool click 1
# Standing, 480 x 640 at (272, 64): red on the right, blue on the left.
wait_screen 30 700 384 255 0 0
expect_colour 300 384 0 0 255
expect_colour 260 384 0 0 0
xdotool click 1
# 400 x 200 at (312, 284): its right half clear, so black.
wait_screen 30 400 300 32 192 96
expect_colour 600 300 0 0 0
expect_colour 400 490 0 0 0
xdotool click 1
wait_screen 30 512 500 128 64 255
expect_colour 430 500 0 0 0
xdotool click 1
# 300 x 200 at (362, 284), moving: yellow, cyan, and yellow again.
wait_screen 30 512 384 255 255 0
wait_screen 30 512 384 0 255 255
wait_screen 30 512 384 255 255 0
expect_colour 350 384 0 0 0
leave_show

rm -f "$APPDIR/plm.ini"
start_copy "$PROGRAM"
show_pictures
wait_screen 30 500 300 0 255 0
xdotool click 1
wait_screen 30 500 300 0 0 0
leave_show
