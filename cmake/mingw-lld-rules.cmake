# Compile and link rules of the MinGW-w64 build, loaded by CMake right after its own compiler and platform
# rules (CMAKE_USER_MAKE_RULES_OVERRIDE, set by toolchain-mingw64.cmake).
#
# Debug information: every configuration carries enough of it to name the frames of a backtrace. With
# clang that is CodeView line tables, which lld turns into a PDB. They come last on the command line
# so that a target's own "-g" (JUCE's recommended flags add one) does not turn them into full CodeView,
# which clang 14 cannot emit for thread_local variables under emulated TLS (the link then fails).
# With GCC it is DWARF 4, the version Wine's DbgHelp reads.
if(VUR_MINGW_COMPILER STREQUAL "clang")
    set(_vur_debug_info "-gcodeview -gline-tables-only")
else()
    set(_vur_debug_info "-gdwarf-4")
endif()

foreach(_vur_lang C CXX)
    set(CMAKE_${_vur_lang}_COMPILE_OBJECT
        "<CMAKE_${_vur_lang}_COMPILER> ${VUR_MINGW_${_vur_lang}_FLAGS} <DEFINES> <INCLUDES> <FLAGS> ${_vur_debug_info} -o <OBJECT> -c <SOURCE>")
    set(CMAKE_${_vur_lang}_FLAGS_DEBUG_INIT "-O0")
    set(CMAKE_${_vur_lang}_FLAGS_RELEASE_INIT "-O2 -DNDEBUG")
    set(CMAKE_${_vur_lang}_FLAGS_RELWITHDEBINFO_INIT "-O2 -DNDEBUG")
    set(CMAKE_${_vur_lang}_FLAGS_MINSIZEREL_INIT "-Os -DNDEBUG")
endforeach()

# Debian's MinGW GCC ignores -fuse-ld=lld, and GNU ld takes minutes over a debug JUCE link where lld
# takes a second: every program is linked by clang's driver for the MinGW target, which runs lld.
foreach(_vur_lang C CXX)
    foreach(_vur_rule LINK_EXECUTABLE CREATE_SHARED_LIBRARY CREATE_SHARED_MODULE)
        string(REPLACE "<CMAKE_${_vur_lang}_COMPILER>" "${VUR_MINGW_LINKER} ${VUR_MINGW_LINK_FLAGS}"
            _vur_command "${CMAKE_${_vur_lang}_${_vur_rule}}")
        set(CMAKE_${_vur_lang}_${_vur_rule} "${_vur_command} ${VUR_MINGW_LINK_LIBRARIES}")
    endforeach()
endforeach()
