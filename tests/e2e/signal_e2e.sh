#!/usr/bin/env bash
# Log-off, shutdown and a closed terminal send SIGTERM, SIGHUP or SIGINT.
# Each must save what closing saves without asking (the default list and the
# settings), never a modified named list, and end the program as the signal
# asks. Temporary files that a killed copy left beside the settings and the
# list go at the next start, those of a writer still running stay.
set -euo pipefail
PROGRAM=$1
source "$(dirname "$0")/x11_session.sh"
start_x

FILES="$E2E_TMP/files"
mkdir -p "$FILES"
: >"$FILES/a.jpg"

# A process id that is surely free: a child that has already ended.
sh -c 'exit 0' &
GONE=$!
wait $GONE || true
sleep 300 &
ALIVE=$!
E2E_PIDS+=($ALIVE)

# end_app <signal>: sends it and checks the program ended by it.
end_app() {
  kill "-$1" "$APP"
  local rc=0
  wait "$APP" || rc=$?
  [ "$rc" -eq $(( 128 + $(kill -l "$1") )) ] || fail "after SIG$1 the exit status is $rc"
}

keys_in() { grep -c '=' "$1"; }

# 1. SIGTERM with the default list: the typed line and the settings are kept,
#    our leftovers of a gone writer are removed, others stay.
APPDIR="$E2E_TMP/term"
mkdir -p "$APPDIR"
for f in ".plm.ini.tmp$GONE-0" "plm.ini.tmp$GONE-1" ".default.txt.tmp$GONE-0" \
         ".default.txt.tmp$ALIVE-0" ".notes.txt.tmp$GONE-0" ".default.txt.tmpx-0"; do
  echo leftover >"$APPDIR/$f"
done
start_copy "$PROGRAM" "$FILES/a.jpg"
for f in ".plm.ini.tmp$GONE-0" "plm.ini.tmp$GONE-1" ".default.txt.tmp$GONE-0"; do
  [ ! -e "$APPDIR/$f" ] || fail "leftover $f was not removed at start"
done
for f in ".default.txt.tmp$ALIVE-0" ".notes.txt.tmp$GONE-0" ".default.txt.tmpx-0"; do
  [ -e "$APPDIR/$f" ] || fail "$f is not a leftover of ours, yet it was removed"
done
xdotool windowactivate --sync "$MAIN" type --delay 20 "typed line"
# The keys must reach the list before the signal does. Keys are taken in
# order, so once the about box that the last keys open is up, the text is in.
open_menu "$APP" "$MAIN" alt+h
xdotool key --clearmodifiers a
wait_until 20 xdotool search --onlyvisible --name 'バージョン情報' || fail "the about box did not open"
xdotool key Escape
wait_until 20 sh -c "! xdotool search --onlyvisible --name 'バージョン情報'" || fail "the about box did not close"
end_app TERM
[ -f "$APPDIR/default.txt" ] || fail "SIGTERM: default.txt was not written"
printf '%s\r\ntyped line' "$FILES/a.jpg" >"$E2E_TMP/expected.txt"
cmp -s "$E2E_TMP/expected.txt" "$APPDIR/default.txt" || { od -c "$APPDIR/default.txt" >&2; fail "SIGTERM: default.txt does not hold the list"; }
[ -f "$APPDIR/plm.ini" ] && [ "$(keys_in "$APPDIR/plm.ini")" -eq 11 ] || fail "SIGTERM: plm.ini does not hold the eleven keys"
leftovers=$(cd "$APPDIR" && ls -A | grep -c "\.tmp$APP-" || true)
[ "$leftovers" -eq 0 ] || fail "SIGTERM: the program left temporary files"

# 2. SIGHUP with a modified named list: the list on disk stays as it was, the
#    settings are saved and still name it.
APPDIR="$E2E_TMP/hup"
mkdir -p "$APPDIR"
printf 'named\r\n' >"$APPDIR/named.txt"
printf '[Grobal]\r\nConfigVersion=2\r\nDefaultFileName="named.txt"\r\nLoopMode=0\r\n' >"$APPDIR/plm.ini"
start_copy "$PROGRAM" "$FILES/a.jpg"
end_app HUP
[ "$(cat "$APPDIR/named.txt")" = "$(printf 'named\r')" ] || fail "SIGHUP: the named list was written without asking"
[ ! -e "$APPDIR/default.txt" ] || fail "SIGHUP: default.txt was written for a named list"
[ "$(keys_in "$APPDIR/plm.ini")" -eq 11 ] && grep -q 'DefaultFileName="named.txt"' "$APPDIR/plm.ini" \
  && grep -q 'LoopMode=0' "$APPDIR/plm.ini" || fail "SIGHUP: plm.ini was not saved"

# 3. SIGINT (Ctrl+C in the terminal) with the default list.
APPDIR="$E2E_TMP/int"
mkdir -p "$APPDIR"
start_copy "$PROGRAM" "$FILES/a.jpg"
end_app INT
printf '%s\r\n' "$FILES/a.jpg" >"$E2E_TMP/expected.txt"
cmp -s "$E2E_TMP/expected.txt" "$APPDIR/default.txt" || fail "SIGINT: default.txt does not hold the list"
[ "$(keys_in "$APPDIR/plm.ini")" -eq 11 ] || fail "SIGINT: plm.ini does not hold the eleven keys"
echo "e2e passed"
