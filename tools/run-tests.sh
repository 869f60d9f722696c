#!/usr/bin/env bash
# Builds everything and runs every test: the Linux suites (core, platform, shell under Xvfb, end to end),
# those suites again under the address and undefined-behaviour sanitizers, then the Windows suite
# cross-compiled with MinGW-w64 and run under Wine. --linux-only skips the latter.
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

# The same suites (not the end-to-end ones) under AddressSanitizer and UndefinedBehaviorSanitizer. The
# shell tests run without leak checks: the framework loads the windowing libraries at run time and unloads
# them at exit, so what they keep cannot be told from a leak of ours.
echo "== sanitizer build (build-asan/)"
(cd "$top" && cmake --preset asan > /dev/null)
cmake --build "$top/build-asan" -j"$(nproc)" --target vur_core_tests vur_platform_tests vur_test_child vur_shell_tests
(cd "$top" && ctest --preset asan --timeout 900 -j2 --label-regex "vur_core_tests|vur_platform_tests")
(cd "$top" && ASAN_OPTIONS=detect_leaks=0 xvfb-run -a -s "-screen 0 1280x1024x24" \
    ctest --preset asan --timeout 900 -j2 --label-regex "vur_shell_tests")

if [[ $windows -eq 1 && -f "$top/.ci/windows.sh" ]]; then
    bash "$top/.ci/windows.sh"
fi
