#!/usr/bin/env bash
# Builds the Debian packages rbx53207-common, rbx53207-server and rbx53207-client into
# out/packages/: installs what is missing, makes a release build of the programs alone (no
# tests) in out/package-build and runs cpack on it. RBX_JOBS sets the build's parallel jobs
# (all cores unless told).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build="$root/out/package-build"

bash scripts/install-deps.sh
mkdir -p "$root/out"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DCMAKE_INSTALL_PREFIX=/usr \
  > "$root/out/package-build.configure.log" 2>&1 || { cat "$root/out/package-build.configure.log"; exit 1; }
cmake --build "$build" -j"${RBX_JOBS:-$(nproc)}"
rm -rf "$root/out/packages"
(cd "$build" && cpack -G DEB -B "$root/out/packages") > "$root/out/package-build.cpack.log" 2>&1 \
  || { cat "$root/out/package-build.cpack.log"; exit 1; }
rm -rf "$root/out/packages/_CPack_Packages"
ls -1 "$root/out/packages/"*.deb
