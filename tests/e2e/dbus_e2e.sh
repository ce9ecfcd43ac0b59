#!/usr/bin/env bash
# Without a session bus the program starts no bus daemon of its own (the bus
# library would run dbus-launch from PATH), and a bus that takes connections
# but never answers does not keep the main window from appearing.
set -euo pipefail
PROGRAM=$1
source "$(dirname "$0")/x11_session.sh"
start_x

mkdir -p "$E2E_TMP/bin" "$E2E_TMP/run"
printf '#!/bin/sh\n: >"%s/started"\nexit 1\n' "$E2E_TMP" >"$E2E_TMP/bin/dbus-launch"
chmod +x "$E2E_TMP/bin/dbus-launch"
unset DBUS_SESSION_BUS_ADDRESS
export XDG_RUNTIME_DIR="$E2E_TMP/run" PATH="$E2E_TMP/bin:$PATH"

start_copy "$PROGRAM"
sleep 1
[ ! -e "$E2E_TMP/started" ] || fail "a bus daemon was started"
close_main

perl -MIO::Socket::UNIX -e '$s = IO::Socket::UNIX->new(Type => SOCK_STREAM(), Local => $ARGV[0], Listen => 5)
  or die; push @held, $s->accept while 1' "$XDG_RUNTIME_DIR/bus" &
E2E_PIDS+=($!)
wait_until 10 test -S "$XDG_RUNTIME_DIR/bus" || fail "the silent bus did not start"
start_copy "$PROGRAM"
close_main
[ ! -e "$E2E_TMP/started" ] || fail "a bus daemon was started"
echo "e2e passed"
