#!/usr/bin/env bash
# Configures and builds into build/: everything, or only the targets named
# as arguments (scripts/build.sh pelumir).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)" ${1:+--target "$@"}
