# Sourced by end-to-end tests: starts Xvfb with openbox on a free display,
# and offers helpers to look at pixels. Everything is stopped on exit.
E2E_W=${E2E_W:-1024}
E2E_H=${E2E_H:-768}
E2E_TMP=$(mktemp -d)
E2E_PIDS=()

e2e_cleanup() {
  for pid in "${E2E_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$E2E_TMP"
}
trap e2e_cleanup EXIT

fail() { echo "FAIL: $*" >&2; [ -f "$E2E_TMP/shot.png" ] && cp "$E2E_TMP/shot.png" "${E2E_KEEP:-/tmp}/pelumir-e2e-fail.png" 2>/dev/null; exit 1; }

# wait_until <seconds> <command...>
wait_until() {
  local limit=$(( $1 * 10 )); shift
  for ((i = 0; i < limit; i++)); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
  return 1
}

# start_xvfb: a private X server on a display number it picks itself, so
# servers started at the same moment by other test runs never share one.
start_xvfb() {
  : >"$E2E_TMP/display"
  # -noreset: the server must not reset when its last client leaves, or a
  # client that comes a moment later (openbox, the next test) is refused.
  Xvfb -displayfd 3 -screen 0 "${E2E_W}x${E2E_H}x24" -nolisten tcp -noreset \
    3>"$E2E_TMP/display" >"$E2E_TMP/xvfb.log" 2>&1 &
  E2E_PIDS+=($!)
  # The number is written once the server takes connections.
  wait_until 30 grep -q '[0-9]' "$E2E_TMP/display" || fail "Xvfb did not start: $(cat "$E2E_TMP/xvfb.log")"
  export DISPLAY=":$(tr -dc 0-9 <"$E2E_TMP/display")"
}

start_x() {
  # The program must use the X server, whatever the caller asked of Qt.
  export QT_QPA_PLATFORM=xcb
  start_xvfb
  openbox --sm-disable >"$E2E_TMP/openbox.log" 2>&1 &
  E2E_PIDS+=($!)
  # Openbox is ready for a full-screen window once it advertises the states.
  wait_until 20 sh -c 'xprop -root _NET_SUPPORTED | grep -q _NET_WM_STATE_FULLSCREEN && xprop -root _NET_WORKAREA | grep -q ='  \
    || fail "openbox did not come up"
}

# wait_managed <window>: the window manager has framed and placed it, so
# points given relative to it stay where they are.
wait_managed() {
  wait_until 20 sh -c "xprop -id $1 _NET_FRAME_EXTENTS | grep -q =" || fail "window $1 was not managed"
}

# open_menu <pid> <main window> <keys>: presses the menu's keys and waits for
# its pop-up, so the next key goes to the menu and not to the window.
open_menu() {
  xdotool key --clearmodifiers "$3"
  wait_until 20 sh -c "xdotool search --onlyvisible --pid $1 --name . | grep -vx $2" || fail "menu $3 did not open"
}

# copy_program <program>: a private copy in $APPDIR (default $E2E_TMP/app).
# The program keeps its settings and default list beside itself, so nothing
# is left from an earlier run.
copy_program() {
  APPDIR=${APPDIR:-$E2E_TMP/app}
  mkdir -p "$APPDIR"
  cp "$1" "$APPDIR/pelumir"
  # Pictures are decoded by the process that lives beside the program.
  cp "$(dirname "$1")/pelumir-decoder" "$APPDIR/pelumir-decoder"
}

# start_copy <program> [args...]: starts a private copy of the program and
# waits until its main window is placed. Sets APP and MAIN.
start_copy() {
  copy_program "$1"
  shift
  (cd "$E2E_TMP" && exec "$APPDIR/pelumir" "$@" >"$APPDIR/app.log" 2>&1) &
  APP=$!
  E2E_PIDS+=($APP)
  wait_until 30 xdotool search --onlyvisible --pid "$APP" --name '^PelumirVersion' || fail "main window did not appear"
  MAIN=$(xdotool search --onlyvisible --pid "$APP" --name '^PelumirVersion' | head -n1)
  wait_managed "$MAIN"
}

# close_main: Alt+F4 to the main window until the program has ended. On a
# busy machine the keys may come before the window manager has given it the
# focus, and then they close nothing.
close_main() {
  for _ in 1 2 3 4 5; do
    xdotool windowactivate --sync "$MAIN" key --clearmodifiers alt+F4 2>/dev/null || true
    wait_until 6 sh -c "! kill -0 $APP" && return 0
  done
  shot
  fail "program did not exit"
}

# close_and_expect_list <line...>: closes the main window as a user does; the
# default list it saves must hold exactly these lines.
close_and_expect_list() {
  close_main
  [ -f "$APPDIR/default.txt" ] || fail "default.txt was not written"
  printf '%s\r\n' "$@" >"$E2E_TMP/expected.txt"
  if ! cmp -s "$E2E_TMP/expected.txt" "$APPDIR/default.txt"; then
    echo "expected:" >&2; od -c "$E2E_TMP/expected.txt" >&2
    echo "default.txt:" >&2; od -c "$APPDIR/default.txt" >&2
    fail "default.txt does not hold the expected lines"
  fi
}

shot() { import -window root "$E2E_TMP/shot.png"; }

# pixel <x> <y>: "r,g,b" of the last screenshot
pixel() {
  convert "$E2E_TMP/shot.png" -format "%[fx:int(255*p{$1,$2}.r)],%[fx:int(255*p{$1,$2}.g)],%[fx:int(255*p{$1,$2}.b)]" info:
}

# colour_is <x> <y> <r> <g> <b> [tolerance]: checks the last screenshot
colour_is() {
  local got tol=${6:-24}
  got=$(pixel "$1" "$2")
  IFS=, read -r r g b <<<"$got"
  local dr=$(( r - $3 )) dg=$(( g - $4 )) db=$(( b - $5 ))
  [ ${dr#-} -le "$tol" ] && [ ${dg#-} -le "$tol" ] && [ ${db#-} -le "$tol" ]
}

# expect_colour <x> <y> <r> <g> <b> [tolerance]
expect_colour() {
  colour_is "$@" || fail "pixel ($1,$2) is $(pixel "$1" "$2"), expected $3,$4,$5"
}

# wait_screen <seconds> <x> <y> <r> <g> <b>: screenshots until the pixel shows
# the colour, so a slow machine only makes the test slower.
wait_screen() {
  local limit=$(( $1 * 4 )); shift
  for ((i = 0; i < limit; i++)); do
    shot
    colour_is "$@" && return 0
    sleep 0.25
  done
  fail "pixel ($1,$2) stayed $(pixel "$1" "$2"), expected $3,$4,$5"
}

# show_pictures: the main window's "画像の表示", then the first picture.
show_pictures() {
  xdotool mousemove 5 5
  xdotool mousemove --window "$MAIN" --sync 40 38 click 1
}
# leave_show: Escape back to the main window, which is then closed.
leave_show() {
  xdotool key Escape
  wait_screen 30 400 300 255 255 255 40
  close_main
}
