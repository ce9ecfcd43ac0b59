#!/usr/bin/env bash
# under_xvfb.sh <command...>: runs the command against a private Xvfb with no
# window manager, and ends the server afterwards.
set -uo pipefail
source "$(dirname "$0")/x11_session.sh"
start_xvfb
"$@"
