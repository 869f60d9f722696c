#!/usr/bin/env bash
# Takes this machine back to the state of a new one, as far as the project changed it, so that the next
# set-up and test run proves it works from nothing. It removes only what the project added:
#   - the build folders in the tree (build/, build-*/ and the ones named by VUR_BUILD_DIR,
#     VUR_WIN_BUILD_DIR and VUR_MINGW_DEPS), with the Wine prefix the Windows suite keeps in build-win/;
#   - the deb-src list that tools/win/build-image-libs.sh adds for `apt-get source`;
#   - the Debian packages that tools/install-deps.sh recorded as installed by it, and the dependencies that
#     only they needed;
#   - the monitor's single-instance lock file in /var/tmp and the sandboxes that tests left in the
#     temporary folder (vur-test-*, vur-e2e-*, vur-win-*; demo folders stay).
# It refuses to run while a monitor, a demo or a test run is going on. VUR_FRESH_KEEP_PACKAGES=1 leaves the
# packages installed (their download and set-up take the longest; everything else is still removed).
#
#   tools/fresh-machine.sh
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)

as_root()
{
    if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi
}

for program in vur vur.exe vur-meter-sim vur-opc-sim; do
    if pgrep -x "$program" > /dev/null; then
        echo "fresh-machine.sh: $program is running (a monitor, a demo or a test run); stop it first" >&2
        exit 1
    fi
done

echo "== fresh machine: removing what the project added"
folders=("$top"/build "$top"/build-*)
for var in VUR_BUILD_DIR VUR_WIN_BUILD_DIR VUR_MINGW_DEPS; do
    [ -n "${!var:-}" ] && folders+=("${!var}")
done
for folder in "${folders[@]}"; do
    [ -d "$folder" ] || continue
    # A Wine server still serving a prefix in there would keep files open and recreate some of them.
    for prefix in "$folder"/wine/prefix; do
        [ -d "$prefix" ] && command -v wineserver > /dev/null && WINEPREFIX="$prefix" wineserver -k 2> /dev/null || true
    done
    echo "   $folder"
    rm -rf "$folder"
done

removed_sources=0
for list in /etc/apt/sources.list.d/vur-deb-src.sources /etc/apt/sources.list.d/vur-deb-src.list; do
    if [ -e "$list" ]; then
        echo "   $list"
        as_root rm -f "$list"
        removed_sources=1
    fi
done
[ $removed_sources -eq 0 ] || as_root apt-get update -qq

record=/var/lib/vur-dev/installed-packages
if [ -s "$record" ] && [ -z "${VUR_FRESH_KEEP_PACKAGES:-}" ]; then
    mapfile -t ours < <(sort -u "$record")
    # Only the dependencies our packages leave behind go with them, not what was unused before.
    orphans_before=$(apt-get -s autoremove 2> /dev/null | sed -n 's/^Remv \([^ ]*\).*/\1/p' | sort)
    echo "   packages: ${ours[*]}"
    export DEBIAN_FRONTEND=noninteractive
    as_root apt-get purge -y -qq "${ours[@]}" > /dev/null
    mapfile -t orphans < <(comm -13 <(echo "$orphans_before") \
        <(apt-get -s autoremove 2> /dev/null | sed -n 's/^Remv \([^ ]*\).*/\1/p' | sort))
    [ ${#orphans[@]} -eq 0 ] || as_root apt-get purge -y -qq "${orphans[@]}" > /dev/null
    as_root rm -f "$record"
fi

rm -f "/var/tmp/juceAppLock_Dadovir Moisture Meter"
tmp=${TMPDIR:-/tmp}
find "$tmp" /tmp -maxdepth 1 \( -name 'vur-test-*' -o -name 'vur-e2e-*' -o -name 'vur-win-*' \) \
    -exec rm -rf {} + 2> /dev/null || true
echo "== fresh machine: done"
