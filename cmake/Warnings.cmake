# Warnings for the project's own code (JUCE's module sources keep their own settings).
add_library(vur_warnings INTERFACE)
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_compile_options(vur_warnings INTERFACE
        -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-align
        -Woverloaded-virtual -Wformat=2 -Wimplicit-fallthrough)
endif()
if(VUR_WARNINGS_AS_ERRORS)
    target_compile_options(vur_warnings INTERFACE -Werror)
endif()

# Collects the sources of one layer of a subsystem folder: core/*.cpp, platform/*_<os>.cpp, or the folder's own *.cpp.
function(vur_glob_sources out_var)
    file(GLOB _found CONFIGURE_DEPENDS ${ARGN})
    set(${out_var} ${_found} PARENT_SCOPE)
endfunction()

# Source positions in error reports name files from the top of the tree (src-vur/kmmapp.cpp), not from
# wherever the tree was checked out.
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_compile_options(vur_warnings INTERFACE -fmacro-prefix-map=${CMAKE_SOURCE_DIR}/=)
endif()
