# Cross-compiles the monitor, its tools and its tests for 64-bit Windows with Debian's MinGW-w64 (POSIX
# thread model: std::thread and std::mutex come from winpthreads), linked statically by lld.
#
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake -DVUR_MINGW_DEPS=<dir>
#
# VUR_MINGW_COMPILER=clang (default): clang compiles for the MinGW target against MinGW's own
# libstdc++, with CodeView line tables, and lld writes a PDB beside every executable. Microsoft's
# DbgHelp reads no DWARF, so only this way does a backtrace name our frames on real Windows.
# VUR_MINGW_COMPILER=gcc: GCC compiles with DWARF 4 (Windows' DbgHelp names none of those frames); the
# link still goes through clang and lld, because GNU ld needs minutes for a debug JUCE link. The C
# libraries are built this way. Not for the programs: Wine 8's DbgHelp dies reading GCC 12's DWARF of
# vur.exe (a null name in dwarf2_parse_subprogram) at the first backtrace, so vur.exe crashes under Wine.
#
# VUR_MINGW_DEPS is the folder tools/win/build-image-libs.sh filled with static libpng, libjpeg,
# GoogleTest and the C runtime compatibility library (default: the environment's VUR_MINGW_DEPS).

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VUR_MINGW_TRIPLE x86_64-w64-mingw32)
set(VUR_MINGW_SYSROOT /usr/${VUR_MINGW_TRIPLE})

if(NOT DEFINED VUR_MINGW_COMPILER)
    if(DEFINED ENV{VUR_MINGW_COMPILER})
        set(VUR_MINGW_COMPILER $ENV{VUR_MINGW_COMPILER})
    else()
        set(VUR_MINGW_COMPILER clang)
    endif()
endif()
set(VUR_MINGW_COMPILER ${VUR_MINGW_COMPILER} CACHE STRING "Compiler for the MinGW-w64 build: clang or gcc")

if(NOT DEFINED VUR_MINGW_DEPS AND DEFINED ENV{VUR_MINGW_DEPS})
    set(VUR_MINGW_DEPS $ENV{VUR_MINGW_DEPS})
endif()
set(VUR_MINGW_DEPS "${VUR_MINGW_DEPS}" CACHE PATH "Folder filled by tools/win/build-image-libs.sh")

# Checks and find_package calls inside try_compile see the same choices.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VUR_MINGW_COMPILER VUR_MINGW_DEPS)

# MinGW's GCC runtime (libstdc++, libgcc, crtbegin) of the POSIX thread model.
execute_process(COMMAND ${VUR_MINGW_TRIPLE}-gcc-posix -print-libgcc-file-name
    OUTPUT_VARIABLE _vur_libgcc OUTPUT_STRIP_TRAILING_WHITESPACE)
get_filename_component(VUR_MINGW_GCC_DIR "${_vur_libgcc}" DIRECTORY)
if(NOT IS_DIRECTORY "${VUR_MINGW_GCC_DIR}/include/c++")
    message(FATAL_ERROR "MinGW-w64 GCC (POSIX threads) not found: apt-get install g++-mingw-w64-x86-64-posix")
endif()

find_program(VUR_MINGW_CLANGXX NAMES clang++ clang++-16 clang++-15 clang++-14 REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${VUR_MINGW_TRIPLE}-windres REQUIRED)
# GNU ar needs minutes to index the JUCE objects that clang writes; LLVM's archiver a fraction of a second.
find_program(CMAKE_AR NAMES llvm-ar llvm-ar-16 llvm-ar-15 llvm-ar-14 ${VUR_MINGW_TRIPLE}-ar REQUIRED)
find_program(CMAKE_RANLIB NAMES llvm-ranlib llvm-ranlib-16 llvm-ranlib-15 llvm-ranlib-14 ${VUR_MINGW_TRIPLE}-ranlib
    PATHS /usr/lib/llvm-16/bin /usr/lib/llvm-15/bin /usr/lib/llvm-14/bin REQUIRED)

# The flags without which nothing builds go into the compile and link rules (mingw-lld-rules.cmake), not
# into CMAKE_<LANG>_FLAGS, so that a user's own CMAKE_CXX_FLAGS cannot drop them.
if(VUR_MINGW_COMPILER STREQUAL "clang")
    find_program(VUR_MINGW_CLANG NAMES clang clang-16 clang-15 clang-14 REQUIRED)
    set(CMAKE_C_COMPILER ${VUR_MINGW_CLANG})
    set(CMAKE_CXX_COMPILER ${VUR_MINGW_CLANGXX})
    set(CMAKE_C_COMPILER_TARGET ${VUR_MINGW_TRIPLE})
    set(CMAKE_CXX_COMPILER_TARGET ${VUR_MINGW_TRIPLE})
    # Clang does not find Debian's MinGW GCC by itself (its folder is named 12-posix, not a version):
    # point it at the MinGW headers and at that GCC's libstdc++, never at the host's /usr/include.
    # libstdc++ was built by GCC with emulated thread-local storage (std::call_once relies on it), and
    # it defines type_info's operator== out of line: clang's inline copy would clash with it at the link.
    set(VUR_MINGW_C_FLAGS "--target=${VUR_MINGW_TRIPLE} --sysroot=${VUR_MINGW_SYSROOT} -femulated-tls")
    set(VUR_MINGW_CXX_FLAGS "${VUR_MINGW_C_FLAGS} -nostdinc++ -D__GXX_TYPEINFO_EQUALITY_INLINE=0")
    set(CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES
        ${VUR_MINGW_GCC_DIR}/include/c++
        ${VUR_MINGW_GCC_DIR}/include/c++/${VUR_MINGW_TRIPLE}
        ${VUR_MINGW_GCC_DIR}/include/c++/backward)
    # lld writes <program>.pdb beside every executable.
    set(_vur_pdb "-Wl,--pdb=")
elseif(VUR_MINGW_COMPILER STREQUAL "gcc")
    set(CMAKE_C_COMPILER ${VUR_MINGW_TRIPLE}-gcc-posix)
    set(CMAKE_CXX_COMPILER ${VUR_MINGW_TRIPLE}-g++-posix)
    set(VUR_MINGW_C_FLAGS "")
    set(VUR_MINGW_CXX_FLAGS "")
    set(_vur_pdb "")
else()
    message(FATAL_ERROR "VUR_MINGW_COMPILER must be clang or gcc, not '${VUR_MINGW_COMPILER}'")
endif()

# Linked by clang's driver with lld, into one self-contained executable: no libstdc++, libgcc or
# winpthread DLLs to ship.
set(VUR_MINGW_LINKER "${VUR_MINGW_CLANGXX} --target=${VUR_MINGW_TRIPLE} --sysroot=${VUR_MINGW_SYSROOT}")
set(VUR_MINGW_LINK_FLAGS "-fuse-ld=lld -static -static-libgcc -static-libstdc++ -L${VUR_MINGW_GCC_DIR} ${_vur_pdb}")
set(VUR_MINGW_LINK_LIBRARIES "-lpthread")

# Compile and link rules: the flags above, debug information, and the link through clang++ and lld.
set(CMAKE_USER_MAKE_RULES_OVERRIDE ${CMAKE_CURRENT_LIST_DIR}/mingw-lld-rules.cmake)

# Libraries and packages come from the MinGW tree and the dependency folder; programs from the host.
set(CMAKE_FIND_ROOT_PATH ${VUR_MINGW_SYSROOT})
if(VUR_MINGW_DEPS)
    list(APPEND CMAKE_FIND_ROOT_PATH ${VUR_MINGW_DEPS}/prefix)
    list(APPEND CMAKE_PREFIX_PATH ${VUR_MINGW_DEPS}/prefix)
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# JUCE's CMake files, its modules and juceaide are the host's (Debian's juce-modules-source).
if(NOT DEFINED JUCE_DIR)
    file(GLOB _vur_juce_dirs /usr/lib/*/cmake/JUCE-* /usr/lib/cmake/JUCE-*)
    if(_vur_juce_dirs)
        list(GET _vur_juce_dirs 0 _vur_juce_dir)
        set(JUCE_DIR ${_vur_juce_dir} CACHE PATH "JUCE's CMake package (host)")
    endif()
endif()

# Tests and discovery run under Wine.
find_program(VUR_WINE NAMES wine wine64)
if(VUR_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR sh ${CMAKE_CURRENT_LIST_DIR}/../tests/win/wine-run.sh ${VUR_WINE})
endif()

# The static image libraries that JUCE's image formats use (Debian's JUCE strips its own copies).
if(VUR_MINGW_DEPS AND EXISTS ${VUR_MINGW_DEPS}/prefix/lib/libpng.a)
    set(_vur_prefix ${VUR_MINGW_DEPS}/prefix)
    file(GLOB _vur_png_lib ${_vur_prefix}/lib/libpng16*.a)
    list(GET _vur_png_lib 0 _vur_png_lib)
    set(VUR_MINGW_IMAGE_INCLUDES ${_vur_prefix}/include/juce-jpeg ${_vur_prefix}/include)
    # Debian's juce_core uses the system's zlib too; the compatibility library supplies the C runtime
    # functions that msvcrt.dll lacks and JUCE's code expects when clang compiles it.
    set(VUR_MINGW_IMAGE_LIBS ${_vur_png_lib} ${_vur_prefix}/lib/libjpeg.a ${VUR_MINGW_SYSROOT}/lib/libz.a
        ${_vur_prefix}/lib/libvur_mingw_compat.a)
elseif(VUR_MINGW_DEPS)
    message(FATAL_ERROR "${VUR_MINGW_DEPS} holds no MinGW libraries: run tools/win/build-image-libs.sh ${VUR_MINGW_DEPS}")
endif()
