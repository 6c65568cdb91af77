#!/usr/bin/env bash
# Builds Orvenna's Debian package with CPack and prints its path on the last line.
#   scripts/package.sh            Release build without tests in build-package/
#   scripts/package.sh BUILD_DIR  packages an existing build folder (building what is missing)
# The package's dependencies are computed by dpkg-shlibdeps from the programs' libraries.
# Install it with: apt-get install ./build-package/orvenna_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ $(id -u) -eq 0 ]]; then scripts/deps.sh >&2; else scripts/deps.sh >&2 || true; fi

dir=${1:-build-package}
if [[ ! -f $dir/CMakeCache.txt ]]; then
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVENNA_TESTS=OFF \
    -DORVENNA_BENCH=OFF >&2
fi
cmake --build "$dir" -j "$(nproc)" --target orvenna orvenna-cli orvenna_manual_pages >&2
rm -f "$dir"/orvenna_*.deb
# CPack installs the build into a staging folder (building the rest of `all` first).
(cd "$dir" && cpack -G DEB >&2)
deb=$(ls "$dir"/orvenna_*.deb)
echo "package: $deb" >&2
echo "$deb"
