#!/usr/bin/env bash
# The Windows test suite under Wine, in a throw-away Wine prefix (BUILD_DIR/wine, with its own HOME):
# the CTest suites of the MinGW-w64 build (the tests that need a meter play it on COM ports joined back to
# back), vur.exe's start and orderly close, vur.exe counting a simulated meter's boards from one of those
# COM ports into its record files, and the installer when BUILD_DIR holds one.
#
#   xvfb-run -a tests/win/run-suite.sh BUILD_DIR
#
# Needs an X display: Wine's desktop and the program's windows open on it. Artifacts (screenshot, log,
# JUnit file) go to BUILD_DIR/artifacts.
set -uo pipefail

top=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:?usage: $0 BUILD_DIR}" && pwd)
if [ -z "${DISPLAY:-}" ]; then
    echo "run-suite.sh needs an X display: run it under xvfb-run -a" >&2
    exit 2
fi

session="$build/wine"
artifacts="$build/artifacts"
export WINEPREFIX="$session/prefix" HOME="$session/home" WINEARCH=win64 WINEDEBUG=-all
# No Mono or Gecko installer prompts in a fresh prefix.
export WINEDLLOVERRIDES="mscoree,mshtml="

relays=()
finish()
{
    wineserver -k > /dev/null 2>&1
    [ ${#relays[@]} -eq 0 ] || kill "${relays[@]}" 2> /dev/null
}
trap finish EXIT

wineserver -k > /dev/null 2>&1
rm -rf "$session"
mkdir -p "$HOME" "$artifacts"
echo "== a fresh Wine prefix in $WINEPREFIX"
wine wineboot -i < /dev/null > /dev/null 2>&1

# Pairs of pseudo-terminals joined back to back as COM ports, each pair one meter's line (the default
# devices use COM4 to COM7): COM8 and COM9 for the acceptance run, and all of them for the tests that need a
# meter (tests/support/com_meter.h), as many as two test programs running side by side use at once with
# several devices each. Names past COM9 open only as \\.\COMn. Wine reads its port map when its server starts.
join_ports()
{
    local ptys="$session/ptys-$1"
    python3 -u "$top/tests/win/pty_pair.py" > "$ptys" 2> /dev/null &
    relays+=($!)
    for _ in $(seq 1 100); do
        [ -s "$ptys" ] && break
        sleep 0.1
    done
    local reader meter
    read -r reader meter < "$ptys"
    [ -n "$meter" ] || { echo "FAILED: no pseudo-terminal pair for $1 and $2" >&2; exit 1; }
    wine reg add 'HKLM\Software\Wine\Ports' /v "$1" /t REG_SZ /d "$reader" /f < /dev/null > /dev/null 2>&1
    wine reg add 'HKLM\Software\Wine\Ports' /v "$2" /t REG_SZ /d "$meter" /f < /dev/null > /dev/null 2>&1
    echo "== $1 = $reader, $2 = $meter"
}
long_name() { [ "${1#COM}" -gt 9 ] && echo "\\\\.\\$1" || echo "$1"; }
meter_ports=()
for pair in COM8:COM9 COM2:COM3 COM10:COM11 COM12:COM13 COM14:COM15 COM16:COM17; do
    port=${pair%:*} far=${pair#*:}
    join_ports "$port" "$far"
    meter_ports+=("$(long_name "$port"):$(long_name "$far")")
done
wineserver -k > /dev/null 2>&1
wineserver -w
export VUR_TEST_COM_PAIR="COM8 COM9" VUR_TEST_METER_PORTS="${meter_ports[*]}"
echo "== meter lines for the tests: $VUR_TEST_METER_PORTS"

# One wineserver for the whole run, its services started here with no pipes attached: otherwise the first
# test's services would hold CTest's output pipe open, and every start would pay for a new server.
wineserver -p < /dev/null > /dev/null 2>&1
wine cmd /c exit < /dev/null > /dev/null 2>&1

status=0
echo "== CTest under Wine"
ctest --test-dir "$build" --label-regex "${VUR_WIN_LABELS:-vur_core_tests|vur_platform_tests|vur_history_tests|vur_report_tests|vur_shell_tests}" \
    --output-on-failure --timeout 300 -j2 --no-tests=error \
    --output-junit "$artifacts/windows-ctest.xml" || status=1

echo "== vur.exe: main window and orderly close"
python3 "$top/tests/win/test_vur_start.py" "$build" "$artifacts" || status=1

echo "== vur.exe: boards from a meter on a COM port into record files"
python3 "$top/tests/win/test_vur_meter.py" "$build" "$artifacts" || status=1

if ls "$build"/vur-*-win64.exe > /dev/null 2>&1; then
    echo "== installer"
    bash "$top/tests/win/test_installer.sh" "$build" || status=1
fi

exit $status
