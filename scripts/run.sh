#!/usr/bin/env bash
# Installs what is needed, builds, and starts Pelumir (under a virtual
# display when there is none). Arguments are passed to the program.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
# The program alone: the tests and benchmarks are built by scripts/test.sh.
scripts/build.sh pelumir
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec build/pelumir "$@"
fi
exec xvfb-run -a -s "-screen 0 1280x1024x24" build/pelumir "$@"
