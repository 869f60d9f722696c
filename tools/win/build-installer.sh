#!/usr/bin/env bash
# Builds the Windows programs (vur.exe, vur-opc-sim.exe, vur-meter-sim.exe; Release, with their PDBs) and
# their NSIS installer, cross-compiled on Debian with MinGW-w64:
#
#   tools/win/build-installer.sh [BUILD_DIR]
#
# BUILD_DIR defaults to build-win-release/ in the tree; the installer is BUILD_DIR/vur-<version>-win64.exe.
# The static MinGW libraries are built once into $VUR_MINGW_DEPS (default BUILD_DIR/deps). The Debian
# packages it needs are the ones .ci/windows.sh installs.
set -euo pipefail

top=$(cd "$(dirname "$0")/../.." && pwd)
build=$(realpath -m "${1:-$top/build-win-release}")
deps=$(realpath -m "${VUR_MINGW_DEPS:-$build/deps}")

for tool in x86_64-w64-mingw32-gcc-posix clang++ ld.lld makensis cmake; do
    command -v "$tool" > /dev/null || { echo "$tool is missing: see the package list in .ci/windows.sh" >&2; exit 1; }
done

bash "$top/tools/win/build-image-libs.sh" "$deps"
cmake -S "$top" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-mingw64.cmake" -DVUR_MINGW_DEPS="$deps" \
    -DCMAKE_BUILD_TYPE=Release -DVUR_BUILD_TESTS=OFF -DVUR_BUILD_BENCHMARKS=OFF > /dev/null
cmake --build "$build" -j"$(nproc)" --target vur vur-opc-sim vur-meter-sim
rm -f "$build"/vur-*-win64.exe
(cd "$build" && cpack -G NSIS)
