#!/usr/bin/env bash
# Builds everything and runs every test: the Linux suites (core, platform, shell under Xvfb, end to end),
# those suites again under the address and undefined-behaviour sanitizers, then the Windows suite
# cross-compiled with MinGW-w64 and run under Wine.
#
#   tools/run-tests.sh [--linux-only] [--fresh]
#
# --linux-only skips the Windows part. --fresh first takes this machine back to the state of a new one, as
# far as the project itself changed it (tools/fresh-machine.sh), so that the run proves the set-up works
# from nothing.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${VUR_BUILD_DIR:-$top/build}

windows=1
fresh=0
for arg in "$@"; do
    case "$arg" in
        --linux-only) windows=0 ;;
        --fresh) fresh=1 ;;
        *) echo "usage: $0 [--linux-only] [--fresh]" >&2; exit 2 ;;
    esac
done

started=$(date +%s)
[[ $fresh -eq 1 ]] && bash "$top/tools/fresh-machine.sh"

if [[ $windows -eq 1 ]]; then
    # A missing Windows part is a broken tree, not a reason to pass without it.
    [[ -f "$top/.ci/windows.sh" ]] || { echo "FAILED: .ci/windows.sh is missing" >&2; exit 1; }
    bash "$top/tools/install-deps.sh" --windows
else
    bash "$top/tools/install-deps.sh"
fi

# Includes run down the layers (the build checks it too; here the graph is printed for the record).
python3 "$top/tools/layer-deps.py" "$top"

bash "$top/tools/build.sh"

# A label or a filter that matches nothing must fail the run, not pass it.
ctest_args=(--output-on-failure --timeout 900 -j2 --no-tests=error)

# Shell tests open windows: one throw-away X server for the whole run.
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --test-dir "$build" "${ctest_args[@]}"

# The same suites (not the end-to-end ones) under AddressSanitizer and UndefinedBehaviorSanitizer. The
# shell tests run without leak checks: the framework loads the windowing libraries at run time and unloads
# them at exit, so what they keep cannot be told from a leak of ours.
echo "== sanitizer build (build-asan/)"
(cd "$top" && cmake --preset asan > /dev/null)
cmake --build "$top/build-asan" -j"$(nproc)" --target vur_core_tests vur_platform_tests vur_history_tests vur_report_tests vur_test_child vur_shell_tests
(cd "$top" && ctest --preset asan "${ctest_args[@]}" --label-regex "vur_core_tests|vur_platform_tests|vur_history_tests|vur_report_tests")
(cd "$top" && ASAN_OPTIONS=detect_leaks=0 xvfb-run -a -s "-screen 0 1280x1024x24" \
    ctest --preset asan "${ctest_args[@]}" --label-regex "vur_shell_tests")

# The core, platform and shell suites under ThreadSanitizer: the serial port's reads, the child processes,
# the bounded searches and the device channels' reading threads run beside the message thread.
echo "== thread sanitizer build (build-tsan/)"
(cd "$top" && cmake --preset tsan > /dev/null)
cmake --build "$top/build-tsan" -j"$(nproc)" --target vur_core_tests vur_platform_tests vur_history_tests vur_test_child vur-meter-sim \
    vur_shell_tests vur-opc-sim
# The sanitizer holds signals back until the thread makes a call it watches: the meter simulator takes a
# termination signal only after its pacing sleep, and the crash deadline's alarm never reaches a thread that
# waits for a lock for good. Those two tests run in the two runs above instead.
(cd "$top" && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$top/tests/tsan.supp" \
    xvfb-run -a -s "-screen 0 1280x1024x24" \
    ctest --preset tsan "${ctest_args[@]}" --label-regex "vur_core_tests|vur_platform_tests|vur_history_tests|vur_shell_tests" \
        -E "^(MeterSimulator\.StopsCleanlyOnTerminate|Jobs\.CrashHandlerEndsTheProcessEvenWhenTheLogStaysLocked)$")

if [[ $windows -eq 1 ]]; then
    bash "$top/.ci/windows.sh"
fi
echo "== all tests passed in $(( $(date +%s) - started )) s"
