#!/usr/bin/env bash
# Builds everything and runs every test: the Linux suites (core, platform, shell under Xvfb, end to end),
# then the Windows suite cross-compiled with MinGW-w64 and run under Wine. --linux-only skips the latter.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${VUR_BUILD_DIR:-$top/build}

windows=1
[[ "${1:-}" == "--linux-only" ]] && windows=0

if [[ $windows -eq 1 ]]; then
    bash "$top/tools/install-deps.sh" --windows
else
    bash "$top/tools/install-deps.sh"
fi

bash "$top/tools/build.sh"

# Shell tests open windows: one throw-away X server for the whole run.
xvfb-run -a -s "-screen 0 1280x1024x24" \
    ctest --test-dir "$build" --output-on-failure --timeout 900 -j2

if [[ $windows -eq 1 && -f "$top/.ci/windows.sh" ]]; then
    bash "$top/.ci/windows.sh"
fi
