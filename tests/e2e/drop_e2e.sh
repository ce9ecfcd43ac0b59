#!/usr/bin/env bash
# Starts Pelumir with an empty list and drops files and a folder on its main
# window with a real XDND drag, as a file manager would: first three names at
# once on the list box, then one more on the tool bar. Closing saves the
# default list beside the program; it must hold the dropped paths whole, in
# the order dropped, one per CR LF line.
set -euo pipefail
PROGRAM=$1
DROP=$2
source "$(dirname "$0")/x11_session.sh"
start_x

# The program keeps its settings and its default list beside itself: run a
# private copy, so there is no list from an earlier run.
APPDIR="$E2E_TMP/app"
FILES="$E2E_TMP/files"
mkdir -p "$APPDIR" "$FILES"
cp "$PROGRAM" "$APPDIR/pelumir"

# Names that break a careless URI or text conversion. Nothing is checked on
# a drop, so empty files will do.
blanks="$FILES/two  blanks and one.jpg"
japanese="$FILES/写真 一.jpg"
folder="$FILES/旅行 2023"
marks="$FILES/100% #2 (copy).bmp"
: >"$blanks"
: >"$japanese"
mkdir "$folder"
: >"$marks"

cd "$E2E_TMP"
"$APPDIR/pelumir" >"$E2E_TMP/app.log" 2>&1 &
APP=$!
E2E_PIDS+=($APP)
TITLE='^PelumirVersion 1\.02$'
wait_until 30 xdotool search --onlyvisible --name "$TITLE" || fail "main window did not appear"
MAIN=$(xdotool search --onlyvisible --name "$TITLE" | head -n1)
wait_managed "$MAIN"
wait_until 20 sh -c "xprop -id $MAIN XdndAware | grep -q '='" || fail "main window does not announce XDND"

# The list box fills the middle of the window; the tool bar's first button
# sits under the menu bar. Neither takes a drop itself.
"$DROP" "$MAIN" 200 150 "$blanks" "$japanese" "$folder" \
  || fail "the drop on the list box was not taken (xdnd_drop exit $?)"
"$DROP" "$MAIN" 40 38 "$marks" \
  || fail "the drop on the tool bar was not taken (xdnd_drop exit $?)"

# Closing saves the default list silently and ends the program.
xdotool windowactivate --sync "$MAIN" key --clearmodifiers alt+F4 || true
wait_until 20 sh -c "! kill -0 $APP" || fail "program did not exit"
[ -f "$APPDIR/default.txt" ] || fail "default.txt was not written"
printf '%s\r\n' "$blanks" "$japanese" "$folder" "$marks" >"$E2E_TMP/expected.txt"
if ! cmp -s "$E2E_TMP/expected.txt" "$APPDIR/default.txt"; then
  echo "expected:" >&2; od -c "$E2E_TMP/expected.txt" >&2
  echo "default.txt:" >&2; od -c "$APPDIR/default.txt" >&2
  fail "default.txt does not hold the dropped names"
fi
echo "e2e passed"
