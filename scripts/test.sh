#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test: unit and widget
# tests offscreen, the unit tests again under AddressSanitizer and
# UndefinedBehaviorSanitizer, and the end-to-end test on its own Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
cd build
ctest --output-on-failure -j 2 --timeout 600
