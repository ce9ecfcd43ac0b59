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

FILES="$E2E_TMP/files"
mkdir -p "$FILES"

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

start_copy "$PROGRAM"
wait_until 20 sh -c "xprop -id $MAIN XdndAware | grep -q '='" || fail "main window does not announce XDND"

# The list box fills the middle of the window; the tool bar's first button
# sits under the menu bar. Neither takes a drop itself.
"$DROP" "$MAIN" 200 150 "$blanks" "$japanese" "$folder" \
  || fail "the drop on the list box was not taken (xdnd_drop exit $?)"
"$DROP" "$MAIN" 40 38 "$marks" \
  || fail "the drop on the tool bar was not taken (xdnd_drop exit $?)"

# Closing saves the default list silently and ends the program.
close_and_expect_list "$blanks" "$japanese" "$folder" "$marks"
echo "e2e passed"
