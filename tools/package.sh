#!/usr/bin/env bash
# Builds the two Debian packages "korvi" and "korvi-server" and checks them with lintian.
#   tools/package.sh              a Release build in build-release/, packages in build-release/packages/
#   tools/package.sh BUILD_DIR    packages from an existing build folder (its programs are rebuilt if needed)
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh

build=${1:-build-release}
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKORVI_BUILD_TESTS=OFF -DKORVI_BUILD_BENCH=OFF
fi
cmake --build "$build" --target korvi quenby korvi-remote korvi-server
rm -rf "$build/packages"
(cd "$build" && cpack -G DEB -B "$PWD/packages")
rm -rf "$build/packages/_CPack_Packages"
ls -1 "$build"/packages/*.deb

# Errors fail the build; the warnings that remain are explained in the README.
lintian --fail-on error "$build"/packages/*.deb
