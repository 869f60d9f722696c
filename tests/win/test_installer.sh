#!/usr/bin/env bash
# The NSIS installer under Wine: a silent install puts the three programs into Program Files with a
# Start-menu entry, none of them named like the plant's OPC console; a silent uninstall removes them and
# leaves the configuration and the record folders.
#
#   tests/win/test_installer.sh BUILD_DIR
#
# Runs in the Wine session that tests/win/run-suite.sh prepares; the installer is BUILD_DIR/vur-*-win64.exe
# (cpack -G NSIS in BUILD_DIR).
set -uo pipefail

build=$(cd "$1" && pwd)
installer=$(ls -t "$build"/vur-*-win64.exe 2> /dev/null | head -n 1)
if [ -z "$installer" ]; then
    echo "FAILED: installer: no vur-*-win64.exe in $build (cpack -G NSIS)"
    exit 1
fi

failures=()
fail() { failures+=("$1"); }

drive_c="$WINEPREFIX/drive_c"
app="$drive_c/Program Files/Dadovir Moisture Meter"
config="$drive_c/ProgramData/DuvidudUvereverOzure/DuvidudUvereverOzure.cfg"
record="$drive_c/22m2k/data/2024/boardmc/0001/001/001.mc"

wine "$installer" /S < /dev/null > /dev/null 2>&1 || fail "the installer ended with status $?"
for program in vur.exe vur-opc-sim.exe vur-meter-sim.exe Uninstall.exe; do
    [ -f "$app/$program" ] || fail "no $program in Program Files\\Dadovir Moisture Meter"
done
# The plant's own console lives there too, where the monitor looks first: nothing may replace it.
[ -e "$app/OPCConsole.exe" ] && fail "the installer put a file named like the plant's OPC console beside vur.exe"
[ -f "$app/vur.pdb" ] || fail "no vur.pdb beside vur.exe (backtraces on Windows name no frames)"
shortcut=$(find "$drive_c/ProgramData/Microsoft/Windows/Start Menu" "$drive_c/users" -iname "VUR.lnk" 2> /dev/null | head -n 1)
[ -n "$shortcut" ] || fail "no Start-menu entry VUR.lnk"

# What the plant keeps: the configuration and the records.
mkdir -p "$(dirname "$config")" "$(dirname "$record")"
echo '<?xml version="1.0" encoding="UTF-8"?><PROPERTIES/>' > "$config"
echo "records" > "$record"

# The uninstaller copies itself away and returns at once: wait for it to finish its work.
wine "$app/Uninstall.exe" /S < /dev/null > /dev/null 2>&1 || fail "the uninstaller ended with status $?"
for _ in $(seq 1 120); do
    [ -e "$app" ] || break
    sleep 0.5
done
[ -e "$app/vur.exe" ] && fail "vur.exe is still installed after the uninstall"
[ -e "$app" ] && fail "the installation folder is still there after the uninstall"
[ -n "$shortcut" ] && [ -e "$shortcut" ] && fail "the Start-menu entry is still there after the uninstall"
[ -f "$config" ] || fail "the uninstall removed the configuration file"
[ -f "$record" ] || fail "the uninstall removed the record files"

if [ ${#failures[@]} -gt 0 ]; then
    printf 'FAILED: installer:\n'
    printf '  %s\n' "${failures[@]}"
    exit 1
fi
echo "passed: the installer installs into Program Files with a Start-menu entry; the uninstaller keeps the data"
