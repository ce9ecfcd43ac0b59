#!/usr/bin/env bash
# Starts Pelumir with two images among toolkit-like options on its command
# line, clicks "画像の表示", checks that the first image sits centred on black over the whole screen,
# advances with a click to a photo whose EXIF data says to turn it, checks it
# shows upright, and leaves with Escape.
set -euo pipefail
PROGRAM=$1
source "$(dirname "$0")/x11_session.sh"
start_x

copy_program "$PROGRAM"
mkdir -p "$E2E_TMP/pics"
convert -size 800x600 xc:'#ff0000' "$E2E_TMP/pics/first.jpg"
convert -size 640x480 xc:'#00ff00' "$E2E_TMP/pics/second.jpg"
# Stored 800 x 600, red above blue, with the EXIF orientation a camera held
# upright writes (6: turn a quarter clockwise), in an APP1 segment after SOI.
convert -size 800x300 xc:'#ff0000' -size 800x300 xc:'#0000ff' -append "$E2E_TMP/stored.jpg"
{ head -c 2 "$E2E_TMP/stored.jpg"
  printf '\377\341\000\042Exif\000\000MM\000\052\000\000\000\010\000\001\001\022\000\003\000\000\000\001\000\006\000\000\000\000\000\000'
  tail -c +3 "$E2E_TMP/stored.jpg"; } >"$E2E_TMP/pics/portrait.jpg"
[ "$(identify -format '%[orientation]' "$E2E_TMP/pics/portrait.jpg")" = RightTop ] || fail "the test photo is not tagged"

cd "$E2E_TMP/pics"
# Every argument is the program's: none is taken as the toolkit's option.
"$APPDIR/pelumir" -style first.jpg -title Foo -reverse second.jpg portrait.jpg >"$E2E_TMP/app.log" 2>&1 &
APP=$!
E2E_PIDS+=($APP)
wait_until 30 xdotool search --onlyvisible --name '^PelumirVersion 1\.02$' || fail "main window did not appear"
MAIN=$(xdotool search --onlyvisible --name '^PelumirVersion 1\.02$' | head -n1)
wait_managed "$MAIN"

# "画像の表示" is the first button of the tool bar under the menu bar.
show_pictures
wait_screen 30 500 300 255 0 0
# The information box shows for a second at the top-left corner, then goes:
# its white frame at (0, 0) gives way to the black margin.
wait_screen 10 0 0 0 0 0
# 800 x 600 in 1024 x 768: unscaled at (112, 84)-(912, 684).
expect_colour 1023 767 0 0 0
geometry=$(xdotool getactivewindow getwindowgeometry)
grep -q 'Position: 0,0' <<<"$geometry" && grep -q 'Geometry: 1024x768' <<<"$geometry" \
  || fail "the viewer does not cover the screen: $geometry"
expect_colour 0 767 0 0 0
expect_colour 111 300 0 0 0
expect_colour 112 300 255 0 0
expect_colour 911 300 255 0 0
expect_colour 912 300 0 0 0
expect_colour 500 83 0 0 0
expect_colour 500 84 255 0 0
expect_colour 500 683 255 0 0
expect_colour 500 684 0 0 0

# A left click shows the second image: 640 x 480 at (192, 144)-(832, 624).
xdotool click 1
wait_screen 30 500 300 0 255 0
expect_colour 191 300 0 0 0
expect_colour 192 300 0 255 0
expect_colour 831 300 0 255 0
expect_colour 832 300 0 0 0
expect_colour 500 143 0 0 0
expect_colour 500 144 0 255 0
expect_colour 500 623 0 255 0
expect_colour 500 624 0 0 0

# The tagged photo shows upright: 600 x 800 shrunk to 576 x 768 at
# (224, 0)-(800, 768), its stored top (red) now on the right.
xdotool click 1
wait_screen 30 700 384 255 0 0
expect_colour 223 384 0 0 0
expect_colour 226 384 0 0 255
expect_colour 400 10 0 0 255
expect_colour 797 757 255 0 0
expect_colour 800 384 0 0 0

# Escape leaves: the main window with its white list is visible again.
xdotool key Escape
wait_screen 30 400 300 255 255 255 40

# Closing saves the default list beside the program and ends it.
close_main
grep -q 'first.jpg' "$APPDIR/default.txt" || fail "default.txt was not written"
[ -f "$APPDIR/plm.ini" ] || fail "plm.ini was not written"
echo "e2e passed"
