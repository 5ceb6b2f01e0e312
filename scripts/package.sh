#!/usr/bin/env bash
# Builds the release binaries for 32-bit and 64-bit Windows and packs each into its zip
# (Trailkeeper-<version>-x86.zip, Trailkeeper-<version>-x64.zip, each with a SHA-256
# file) in build/packages/, then checks both zips as a user receives them.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
bash scripts/install-deps.sh
out=build/packages
rm -rf "$out"
mkdir -p "$out"
for preset in release release-x64; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    tree=$(sed -n 's/^CMAKE_CACHEFILE_DIR:INTERNAL=//p' "build/$preset/CMakeCache.txt")
    rm -rf "$tree/cpack"
    cpack --config "$tree/CPackConfig.cmake" -B "$tree/cpack"
    cp "$tree"/cpack/*.zip "$tree"/cpack/*.zip.sha256 "$out/"
done
windres=$(command -v x86_64-w64-mingw32-windres || command -v i686-w64-mingw32-windres)
bash tests/deliverables/check-package.sh "$top" "$windres" "$out"/*.zip
echo "Packages:"
ls -l "$out"
