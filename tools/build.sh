#!/usr/bin/env bash
# Configures and builds the Linux tree into build/ (or $VUR_BUILD_DIR); arguments name targets to build.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${VUR_BUILD_DIR:-$top/build}
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE="${VUR_BUILD_TYPE:-Debug}" >/dev/null
if [[ $# -gt 0 ]]; then
    cmake --build "$build" -j"$(nproc)" --target "$@"
else
    cmake --build "$build" -j"$(nproc)"
fi
