#!/usr/bin/env bash
# Builds the static MinGW-w64 libraries the Windows build needs and Debian ships only for Linux:
# libpng, libjpeg and SQLite from Debian's source packages, GoogleTest from /usr/src/googletest, and a small
# library of C runtime functions that msvcrt.dll lacks (tools/win/mingw_crt_compat.c).
#
#   tools/win/build-image-libs.sh DEPS_DIR
#
# DEPS_DIR/src holds the unpacked source packages, DEPS_DIR/build the build trees and DEPS_DIR/prefix
# the installed headers and libraries (prefix/lib/cmake/GTest for find_package). The toolchain file
# picks them up from DEPS_DIR (VUR_MINGW_DEPS). Finished parts are stamped and not rebuilt; delete
# DEPS_DIR to start over. Everything here is compiled by MinGW's GCC, whatever compiler the project uses:
# libpng's build runs the compiler as a preprocessor without the flags that give clang its target, and
# clang's objects link with GCC's as they do with GCC's libstdc++.
set -euo pipefail

if [ $# -ne 1 ]; then
    echo "usage: $0 DEPS_DIR" >&2
    exit 2
fi

repo=$(cd "$(dirname "$0")/../.." && pwd)
deps=$(mkdir -p "$1" && cd "$1" && pwd)
toolchain="$repo/cmake/toolchain-mingw64.cmake"
prefix="$deps/prefix"
jobs="${VUR_JOBS:-2}"
mkdir -p "$deps/src" "$deps/build" "$prefix"

as_root()
{
    if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi
}

# apt-get source needs deb-src entries; derive them from the binary entries once. Everything it says goes
# to standard error: it runs inside source_dir, whose standard output is the folder it names.
ensure_deb_src()
{
    if apt-get source --print-uris libpng1.6 > /dev/null 2>&1; then
        return
    fi
    echo "== adding deb-src entries for apt-get source" >&2
    local list=/etc/apt/sources.list.d/vur-deb-src
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
        sed 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources | as_root tee "$list.sources" > /dev/null
    elif [ -f /etc/apt/sources.list ]; then
        sed -n 's/^deb \(.*\)$/deb-src \1/p' /etc/apt/sources.list | as_root tee "$list.list" > /dev/null
    fi
    as_root apt-get update -qq >&2
}

# Unpacks a Debian source package into src/ (once) and prints its folder, and nothing else, on standard
# output: callers capture it.
source_dir()
{
    local package=$1
    local found
    found=$(find "$deps/src" -maxdepth 1 -mindepth 1 -type d -name "$package-*" | sort | tail -n 1)
    if [ -z "$found" ]; then
        ensure_deb_src
        # A mirror may list a newer source version than it holds (security updates): fall back to the
        # older versions it lists.
        local version
        for version in "" $(apt-cache showsrc "$package" | sed -n 's/^Version: //p' | sort -V -r -u); do
            if (cd "$deps/src" && apt-get source -qq "$package${version:+=$version}" > /dev/null 2>&1); then
                break
            fi
        done
        found=$(find "$deps/src" -maxdepth 1 -mindepth 1 -type d -name "$package-*" | sort | tail -n 1)
        [ -n "$found" ] || { echo "apt-get source $package failed" >&2; exit 1; }
    fi
    printf '%s\n' "$found"
}

# Configures, builds and installs one CMake project into the prefix with the MinGW toolchain.
build_cmake()
{
    local name=$1 source=$2
    shift 2
    local stamp="$prefix/.built-$name"
    if [ -f "$stamp" ]; then
        return
    fi
    echo "== building $name for MinGW-w64"
    rm -rf "$deps/build/$name"
    cmake -S "$source" -B "$deps/build/$name" -G "Unix Makefiles" \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DVUR_MINGW_COMPILER=gcc \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
        -DBUILD_SHARED_LIBS=OFF "$@" > "$deps/build/$name.configure.log" 2>&1 \
        || { cat "$deps/build/$name.configure.log" >&2; exit 1; }
    make -C "$deps/build/$name" -j"$jobs" install > "$deps/build/$name.build.log" 2>&1 \
        || { tail -n 60 "$deps/build/$name.build.log" >&2; exit 1; }
    touch "$stamp"
}

zlib=/usr/x86_64-w64-mingw32/lib/libz.a
[ -f "$zlib" ] || { echo "missing $zlib (apt-get install libz-mingw-w64-dev)" >&2; exit 1; }

png_src=$(source_dir libpng1.6)
[ -f "$png_src/CMakeLists.txt" ] || { echo "no libpng sources in '$png_src'" >&2; exit 1; }
build_cmake libpng "$png_src" \
    -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF -DSKIP_INSTALL_PROGRAMS=ON \
    -DZLIB_LIBRARY="$zlib" -DZLIB_INCLUDE_DIR=/usr/x86_64-w64-mingw32/include

jpeg_src=$(source_dir libjpeg-turbo)
[ -f "$jpeg_src/CMakeLists.txt" ] || { echo "no libjpeg-turbo sources in '$jpeg_src'" >&2; exit 1; }
build_cmake libjpeg "$jpeg_src" \
    -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF -DWITH_SIMD=OFF -DWITH_JPEG8=OFF \
    -DCMAKE_INSTALL_BINDIR="$prefix/bin" -DCMAKE_INSTALL_LIBDIR="$prefix/lib" \
    -DCMAKE_INSTALL_INCLUDEDIR="$prefix/include"

# JUCE includes jpeglib.h with JPEG_INTERNALS, so it needs the internal header too. Built with GCC, JUCE
# also looks for libjpeg's boolean in the namespace it includes jpeglib.h into, where libjpeg's Windows
# configuration does not declare it (it leaves it to rpcndr.h): the wrapper declares the same type there.
install -m 644 "$jpeg_src/jpegint.h" "$prefix/include/jpegint.h"
mkdir -p "$prefix/include/juce-jpeg"
cat > "$prefix/include/juce-jpeg/jpeglib.h" << 'EOF'
typedef unsigned char boolean; /* libjpeg's own MinGW type, as rpcndr.h declares it */
#include_next <jpeglib.h>
EOF

# SQLite for the board history. Debian's source package holds SQLite's source tree, not the single-file
# amalgamation: its own build generates sqlite3.c on the host (the generator needs tclsh), and MinGW's GCC
# compiles that one file into a static library.
sqlite_src=$(source_dir sqlite3)
[ -f "$sqlite_src/configure" ] || { echo "no sqlite sources in '$sqlite_src'" >&2; exit 1; }
sqlite_stamp="$prefix/.built-sqlite"
if [ ! -f "$sqlite_stamp" ]; then
    echo "== building sqlite for MinGW-w64"
    sqlite_build="$deps/build/sqlite"
    rm -rf "$sqlite_build"
    mkdir -p "$sqlite_build" "$prefix/lib" "$prefix/include"
    (cd "$sqlite_build" && "$sqlite_src/configure" --disable-tcl > configure.log 2>&1 && make sqlite3.c > make.log 2>&1) \
        || { tail -n 40 "$sqlite_build/configure.log" "$sqlite_build/make.log" >&2; exit 1; }
    x86_64-w64-mingw32-gcc-posix -O2 -DSQLITE_THREADSAFE=1 -DSQLITE_OMIT_LOAD_EXTENSION=1 \
        -c "$sqlite_build/sqlite3.c" -o "$sqlite_build/sqlite3.o"
    rm -f "$prefix/lib/libsqlite3.a"
    x86_64-w64-mingw32-ar rcs "$prefix/lib/libsqlite3.a" "$sqlite_build/sqlite3.o"
    install -m 644 "$sqlite_build/sqlite3.h" "$sqlite_src/src/sqlite3ext.h" "$prefix/include/"
    touch "$sqlite_stamp"
fi

# The C runtime functions that msvcrt.dll lacks and JUCE's code expects when clang compiles it.
compat_src="$repo/tools/win/mingw_crt_compat.c"
compat_stamp="$prefix/.built-compat-$(sha1sum "$compat_src" | cut -c 1-12)"
if [ ! -f "$compat_stamp" ]; then
    echo "== building the C runtime compatibility library"
    mkdir -p "$deps/build/compat" "$prefix/lib"
    x86_64-w64-mingw32-gcc-posix -O2 -g -Wall -Wextra -c "$compat_src" -o "$deps/build/compat/mingw_crt_compat.o"
    rm -f "$prefix/lib/libvur_mingw_compat.a" "$prefix"/.built-compat-*
    x86_64-w64-mingw32-ar rcs "$prefix/lib/libvur_mingw_compat.a" "$deps/build/compat/mingw_crt_compat.o"
    touch "$compat_stamp"
fi

build_cmake googletest /usr/src/googletest -DBUILD_GMOCK=OFF -Dgtest_disable_pthreads=OFF

echo "== MinGW-w64 libraries ready in $prefix"
