#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test: unit and widget
# tests offscreen, the unit tests again under AddressSanitizer and
# UndefinedBehaviorSanitizer, the end-to-end test on its own Xvfb, and a
# few seconds of every fuzz target on its seeds (clang, in build-fuzz/).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
(cd build && ctest --output-on-failure -j 2 --timeout 600)
scripts/fuzz.sh 5
