#!/usr/bin/env bash
# CI, Windows part: cross-compiles the monitor, its tools and its tests for 64-bit Windows with MinGW-w64,
# builds the NSIS installer, and runs the Windows suite under Wine on Xvfb (tests/win/run-suite.sh).
#
#   .ci/windows.sh [BUILD_DIR]
#
# BUILD_DIR defaults to build-win/ in the tree ($VUR_WIN_BUILD_DIR). The static MinGW libraries (libpng,
# libjpeg, GoogleTest) are built once into $VUR_MINGW_DEPS (default BUILD_DIR/deps). VUR_BUILD_TYPE picks
# the configuration (default Debug). Exits non-zero when anything fails.
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-${VUR_WIN_BUILD_DIR:-$top/build-win}}")
deps=$(realpath -m "${VUR_MINGW_DEPS:-$build/deps}")
build_type=${VUR_BUILD_TYPE:-Debug}
started=$(date +%s)
elapsed() { echo "$(( $(date +%s) - started )) s"; }

bash "$top/tools/install-deps.sh" --windows

echo "== MinGW-w64 libraries ($(elapsed))"
bash "$top/tools/win/build-image-libs.sh" "$deps"

echo "== building for Windows into $build ($(elapsed))"
cmake -S "$top" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-mingw64.cmake" \
    -DVUR_MINGW_DEPS="$deps" -DCMAKE_BUILD_TYPE="$build_type" -DVUR_BUILD_BENCHMARKS=OFF > /dev/null
status=0
# Keep going past a target that fails to build: the suite still runs what was built, and the run fails.
cmake --build "$build" -j"$(nproc)" -- -k || { status=1; echo "== BUILD FAILED (the tests of what was built run)"; }

echo "== installer ($(elapsed))"
rm -f "$build"/vur-*-win64.exe
# zlib instead of LZMA: the debug programs compress in seconds instead of half a minute.
if (cd "$build" && cpack -G NSIS -D CPACK_NSIS_COMPRESSOR=zlib > "$build/cpack.log" 2>&1); then
    ls "$build"/vur-*-win64.exe
else
    cat "$build/cpack.log"
    status=1
fi

echo "== tests under Wine ($(elapsed))"
xvfb-run -a -s "-screen 0 1280x1024x24" bash "$top/tests/win/run-suite.sh" "$build" || status=1

echo "== Windows part $([ $status -eq 0 ] && echo passed || echo FAILED) in $(elapsed)"
exit $status
