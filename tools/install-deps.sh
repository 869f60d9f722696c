#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need. Idempotent; asks apt only for what
# is missing. With --windows it adds the MinGW-w64 cross toolchain, Wine and NSIS.
#
# The packages it installs (and only those) are recorded in /var/lib/vur-dev/installed-packages, so that
# `tools/run-tests.sh --fresh` can take the machine back to the state before the project touched it.
set -euo pipefail

packages=(
    build-essential cmake pkgconf git python3 curl
    juce-modules-source libfreetype-dev libx11-dev libxext-dev libxrandr-dev libxinerama-dev libxcursor-dev
    libpng-dev libjpeg-dev zlib1g-dev libsqlite3-dev
    googletest libgtest-dev libbenchmark-dev
    xvfb xauth xdotool imagemagick fonts-dejavu-core fontconfig-config
)
if [[ "${1:-}" == "--windows" ]]; then
    packages+=(
        g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-x86-64-dev binutils-mingw-w64-x86-64
        libz-mingw-w64-dev wine wine64 nsis clang lld llvm dpkg-dev tcl
    )
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo_cmd=()
[[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"

record=/var/lib/vur-dev/installed-packages
"${sudo_cmd[@]}" mkdir -p "$(dirname "$record")"
printf '%s\n' "${missing[@]}" | "${sudo_cmd[@]}" tee -a "$record" > /dev/null
