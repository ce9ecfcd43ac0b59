#!/usr/bin/env bash
# Colours turned into the screen's: on a screen whose published profile
# swaps red and green, a red picture without a profile shows green on it;
# with the setting off in plm.ini it shows red as stored.
set -euo pipefail
PROGRAM=$1
PROFILE_TOOL=$2
source "$(dirname "$0")/x11_session.sh"
start_x
"$PROFILE_TOOL" --publish swapped

convert -size 640x480 xc:'#ff0000' "$E2E_TMP/red.jpg"
APPDIR=$E2E_TMP/app
mkdir -p "$APPDIR"
printf '%s\r\n' "$E2E_TMP/red.jpg" >"$APPDIR/default.txt"

show_once() {  # plm.ini's own section, then the picture's centre as expected
  printf '[Grobal]\r\nConfigVersion=2\r\n%s' "$1" >"$APPDIR/plm.ini"
  start_copy "$PROGRAM"
  xdotool mousemove 5 5
  xdotool mousemove --window "$MAIN" --sync 40 38 click 1
  wait_screen 30 512 384 "${@:2}"
  xdotool key Escape
  wait_screen 30 400 300 255 255 255 40
  close_main
}
show_once '' 0 255 0
show_once $'[Pelumir]\r\nColourManagement=0\r\n' 255 0 0
echo PASS
