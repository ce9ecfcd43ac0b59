#!/usr/bin/env bash
# Installs what is needed and builds the Debian package
# build/pelumir_<version>_<arch>.deb: the program under /usr, settings and
# the default list in each user's ~/.config/pelumir.
#   sudo apt-get install ./build/pelumir_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
out=build/package
cmake -S . -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
  -DPELUMIR_SYSTEM_LAYOUT=ON -DPELUMIR_TESTS=OFF -DPELUMIR_BENCH=OFF >/dev/null
cmake --build "$out" -j "$(nproc)"
rm -f "$out"/pelumir_*.deb
(cd "$out" && cpack -G DEB >/dev/null)
deb=$(cd "$out" && ls pelumir_*.deb)
mv -f "$out/$deb" "build/$deb"
echo "build/$deb"
