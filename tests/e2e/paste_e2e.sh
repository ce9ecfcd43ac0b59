#!/usr/bin/env bash
# Files copied in a file manager reach the X clipboard as text/uri-list.
# Ctrl+V in Pelumir's list must add their paths, one per line, the bytes the
# URLs encode; closing saves the default list, which must hold them.
set -euo pipefail
PROGRAM=$1
source "$(dirname "$0")/x11_session.sh"
start_x

FILES="$E2E_TMP/files"
mkdir -p "$FILES"

blanks="$FILES/two  blanks.jpg"
japanese="$FILES/写真 一.jpg"
marks="$FILES/100% #2 (copy).bmp"
raw="$FILES/$(printf 'raw\xff.bmp')"  # not UTF-8: the bytes must survive
: >"$blanks"; : >"$japanese"; : >"$marks"; : >"$raw"

# file:// URI of a path, every byte outside the unreserved set escaped.
uri() {
  local LC_ALL=C s=$1 out="file://" i c
  for ((i = 0; i < ${#s}; i++)); do
    c=${s:i:1}
    case $c in
      [A-Za-z0-9/._~-]) out+=$c ;;
      *) out+=$(printf '%%%02X' "'$c") ;;
    esac
  done
  printf '%s' "$out"
}
printf '%s\r\n' "$(uri "$blanks")" "$(uri "$japanese")" "$(uri "$marks")" "$(uri "$raw")" >"$E2E_TMP/uris"

start_copy "$PROGRAM"

# xclip owns the clipboard and answers requests until someone else takes it.
xclip -selection clipboard -t text/uri-list -i "$E2E_TMP/uris"
wait_until 10 sh -c 'xclip -selection clipboard -t TARGETS -o | grep -q text/uri-list' \
  || fail "the clipboard does not offer the files"

xdotool windowactivate --sync "$MAIN"
xdotool mousemove --window "$MAIN" 200 150 click 1
xdotool key --clearmodifiers ctrl+v
close_and_expect_list "$blanks" "$japanese" "$marks" "$raw"
echo "e2e passed"
