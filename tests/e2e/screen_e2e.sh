#!/usr/bin/env bash
# Pelumir on a 1024 x 768 screen at the scale factors people set. At each:
# the main window, the preferences, the help window and the About box open
# inside the screen; a message box opens centred on it; and the viewer puts
# the image on exactly the screen's pixels: 1023 x 767 at x 0-1022, and
# 200 x 10000 (shrunk to 15 x 768) at x 504-518.
set -euo pipefail
PROGRAM=$1
shift
SCALES=("${@:-1 1.25 1.5 1.75 2}")
source "$(dirname "$0")/x11_session.sh"
start_x

copy_program "$PROGRAM"
mkdir -p "$E2E_TMP/pics"
convert -size 1023x767 xc:'#ff0000' "BMP3:$E2E_TMP/pics/wide.bmp"
convert -size 200x10000 xc:'#00ff00' "BMP3:$E2E_TMP/pics/tall.bmp"

# The outer frame of the window, as "left top right bottom" on the screen.
outer() {
  local X Y W H l=0 r=0 t=0 b=0 ext info
  # xwininfo's absolute position is the inside's (xdotool adds the frame twice).
  info=$(xwininfo -id "$1")
  X=$(sed -n 's/.*Absolute upper-left X: *//p' <<<"$info")
  Y=$(sed -n 's/.*Absolute upper-left Y: *//p' <<<"$info")
  W=$(sed -n 's/^ *Width: *//p' <<<"$info")
  H=$(sed -n 's/^ *Height: *//p' <<<"$info")
  ext=$(xprop -id "$1" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/.*= //p')
  [ -n "$ext" ] && IFS=', ' read -r l r t b <<<"$ext"
  echo "$((X - l)) $((Y - t)) $((X + W + r)) $((Y + H + b))"
}
inside() {
  local L T R B
  read -r L T R B <<<"$(outer "$1")"
  [ "$L" -ge 0 ] && [ "$T" -ge 0 ] && [ "$R" -le "$E2E_W" ] && [ "$B" -le "$E2E_H" ]
}
centred() {
  local L T R B
  read -r L T R B <<<"$(outer "$1")"
  local dx=$(( L + R - E2E_W )) dy=$(( T + B - E2E_H ))
  [ ${dx#-} -le 3 ] && [ ${dy#-} -le 3 ]
}
# window <title regex>: the id of the visible window of that title
window() {
  wait_until 20 xdotool search --onlyvisible --name "$1" || fail "$SCALE: window '$1' did not appear"
  xdotool search --onlyvisible --name "$1" | tail -n1
}
check_inside() {
  local id
  id=$(window "$1")
  wait_until 20 inside "$id" || fail "$SCALE: '$1' is not inside the screen: $(outer "$id")"
}
gone() { ! xdotool search --onlyvisible --name "$1"; }
# designed_outer <window>: the frame included, the window is 544 x 378
# (scaled), as far as the screen has room for it.
designed_outer() {
  local L T R B w h
  read -r L T R B <<<"$(outer "$1")"
  w=$(awk "BEGIN { v = int(544 * $SCALE + 0.5); print (v > $E2E_W ? $E2E_W : v) }")
  h=$(awk "BEGIN { v = int(378 * $SCALE + 0.5); print (v > $E2E_H ? $E2E_H : v) }")
  local dw=$(( R - L - w )) dh=$(( B - T - h ))
  [ ${dw#-} -le 3 ] && [ ${dh#-} -le 3 ]
}

for SCALE in ${SCALES[@]}; do
  rm -f "$APPDIR/plm.ini" "$APPDIR/default.txt"
  cd "$E2E_TMP/pics"
  QT_SCALE_FACTOR=$SCALE "$APPDIR/pelumir" wide.bmp tall.bmp >"$E2E_TMP/app.log" 2>&1 &
  APP=$!
  E2E_PIDS+=($APP)
  MAIN=$(window '^PelumirVersion 1\.02$')
  check_inside '^PelumirVersion 1\.02$'
  wait_until 20 designed_outer "$MAIN" || fail "$SCALE: the main window's outer size is not designed: $(outer "$MAIN")"

  for menu in "alt+o c:環境設定" "alt+h c:ヘルプ" "alt+h a:バージョン情報"; do
    keys=${menu%%:*}
    title=${menu#*:}
    xdotool windowactivate --sync "$MAIN"
    open_menu "$APP" "$MAIN" ${keys% *}
    xdotool key --clearmodifiers ${keys#* }
    check_inside "$title"
    xdotool key Escape
    wait_until 10 gone "$title" || fail "$SCALE: Escape did not close '$title'"
  done

  # "一覧の消去" asks first: the question stands in the middle of the screen.
  xdotool windowactivate --sync "$MAIN"
  xdotool mousemove 5 5
  s100=$(awk "BEGIN { print int($SCALE * 100) }")
  xdotool mousemove --window "$MAIN" --sync $(( 130 * s100 / 100 )) $(( 38 * s100 / 100 )) click 1
  BOX=$(window '^警告$')
  wait_until 20 centred "$BOX" || fail "$SCALE: the message box is not centred: $(outer "$BOX")"
  xdotool key Escape
  wait_until 10 gone '^警告$' || fail "$SCALE: the message box stayed"

  # "画像の表示"
  xdotool windowactivate --sync "$MAIN"
  xdotool mousemove 5 5
  xdotool mousemove --window "$MAIN" --sync $(( 40 * s100 / 100 )) $(( 38 * s100 / 100 )) click 1
  wait_screen 30 500 300 255 0 0
  expect_colour 0 300 255 0 0 40
  expect_colour 1022 300 255 0 0 40
  expect_colour 1023 300 0 0 0 40
  expect_colour 500 766 255 0 0 40
  expect_colour 500 767 0 0 0 40
  xdotool key Right
  wait_screen 30 510 300 0 255 0
  expect_colour 503 300 0 0 0 40
  expect_colour 504 300 0 255 0 40
  expect_colour 518 300 0 255 0 40
  expect_colour 519 300 0 0 0 40
  xdotool key Escape

  close_main
  echo "scale $SCALE passed"
done
echo "e2e passed"
