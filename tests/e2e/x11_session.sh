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

start_x() {
  # The program must use the X server, whatever the caller asked of Qt.
  export QT_QPA_PLATFORM=xcb
  local n
  for n in $(seq 90 140); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    # -noreset: the server must not reset when its first client (xdpyinfo)
    # leaves, or openbox may knock during the reset and give up.
    Xvfb ":$n" -screen 0 "${E2E_W}x${E2E_H}x24" -nolisten tcp -noreset >"$E2E_TMP/xvfb.log" 2>&1 &
    E2E_PIDS+=($!)
    export DISPLAY=":$n"
    if wait_until 20 xdpyinfo; then break; fi
    fail "Xvfb did not start on :$n"
  done
  openbox --sm-disable >"$E2E_TMP/openbox.log" 2>&1 &
  E2E_PIDS+=($!)
  # Openbox is ready for a full-screen window once it advertises the states.
  wait_until 20 sh -c 'xprop -root _NET_SUPPORTED | grep -q _NET_WM_STATE_FULLSCREEN && xprop -root _NET_WORKAREA | grep -q ='  \
    || fail "openbox did not come up"
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
