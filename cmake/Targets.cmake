# One static library per layer, each linking only the layers below it:
#
#   vur_app (src-vur) -> vur_wnd (src-wnd) -> vur_cfg (src-cfg) -> vur_log (src-log) -> vur_platform -> vur_base_core
#
# and beside each shell layer its plain C++ core (vur_cfg_core, vur_wnd_core, vur_app_core: src-*/core), which
# links only vur_base_core. tools/layer-deps.py checks the same order on the #include lines; every library
# waits for it, so a header of a higher layer included from a lower one fails the build.

set(VUR_SRC ${CMAKE_SOURCE_DIR})

find_program(VUR_PYTHON NAMES python3 python REQUIRED)
add_custom_target(vur_layer_check
    COMMAND ${VUR_PYTHON} ${VUR_SRC}/tools/layer-deps.py --quiet ${VUR_SRC}
    COMMENT "Checking that includes run down the layers"
    VERBATIM)

# A library of one layer: its sources, the libraries below it it uses.
function(vur_add_layer name)
    cmake_parse_arguments(_layer "" "" "SOURCES;LINKS" ${ARGN})
    add_library(${name} STATIC ${_layer_SOURCES})
    target_include_directories(${name} PUBLIC ${VUR_SRC})
    target_link_libraries(${name} PUBLIC ${_layer_LINKS} PRIVATE vur_warnings)
    add_dependencies(${name} vur_layer_check)
endfunction()

# --- the support library's core: plain C++, below everything ------------------------------------------
vur_glob_sources(VUR_BASE_CORE_SOURCES "${VUR_SRC}/src-base/core/*.cpp")
vur_add_layer(vur_base_core SOURCES ${VUR_BASE_CORE_SOURCES})
# The version, generated from the project's (top CMakeLists.txt): #include "vur_version.h".
configure_file(${VUR_SRC}/src-base/core/vur_version.h.in ${CMAKE_BINARY_DIR}/generated/vur_version.h @ONLY)
target_include_directories(vur_base_core PUBLIC ${CMAKE_BINARY_DIR}/generated)

# --- platform: one file per operating system ----------------------------------------------------------
vur_glob_sources(VUR_PLATFORM_ALL "${VUR_SRC}/src-base/platform/*.cpp")
set(VUR_PLATFORM_SOURCES)
foreach(_f IN LISTS VUR_PLATFORM_ALL)
    if(_f MATCHES "_win32\\.cpp$")
        if(WIN32)
            list(APPEND VUR_PLATFORM_SOURCES ${_f})
        endif()
    elseif(_f MATCHES "_posix\\.cpp$")
        if(NOT WIN32)
            list(APPEND VUR_PLATFORM_SOURCES ${_f})
        endif()
    else()
        list(APPEND VUR_PLATFORM_SOURCES ${_f})
    endif()
endforeach()
vur_add_layer(vur_platform SOURCES ${VUR_PLATFORM_SOURCES} LINKS vur_base_core)
# The error record of the core gets the platform's backtraces and error texts from error_facts_install.cpp,
# which nothing calls: every program that links the platform keeps it.
target_link_options(vur_platform INTERFACE "LINKER:-u,vur_platform_error_facts_installed")
if(WIN32)
    target_link_libraries(vur_platform PUBLIC dbghelp shell32)
else()
    find_package(Threads REQUIRED)
    target_link_libraries(vur_platform PUBLIC Threads::Threads ${CMAKE_DL_LIBS})
    target_link_options(vur_platform PUBLIC -rdynamic)
endif()

# --- the plain C++ cores of the shell layers --------------------------------------------------------
vur_glob_sources(VUR_CFG_CORE_SOURCES "${VUR_SRC}/src-cfg/core/*.cpp")
vur_add_layer(vur_cfg_core SOURCES ${VUR_CFG_CORE_SOURCES} LINKS vur_base_core)

vur_glob_sources(VUR_WND_CORE_SOURCES "${VUR_SRC}/src-wnd/core/*.cpp")
vur_add_layer(vur_wnd_core SOURCES ${VUR_WND_CORE_SOURCES} LINKS vur_base_core)

vur_glob_sources(VUR_APP_CORE_SOURCES "${VUR_SRC}/src-vur/core/*.cpp")
vur_add_layer(vur_app_core SOURCES ${VUR_APP_CORE_SOURCES} LINKS vur_base_core)
target_compile_definitions(vur_app_core PUBLIC VUR_WEB_BASE_URL_DEFAULT="${VUR_WEB_BASE_URL}")

# Every core, for the core test suite.
add_library(vur_core INTERFACE)
target_link_libraries(vur_core INTERFACE vur_base_core vur_cfg_core vur_wnd_core vur_app_core)

# --- board history ----------------------------------------------------------------------------------
# The SQLite store of every counted board: plain C++ with no framework, so the monitor and the report tool
# both link it.
find_package(SQLite3 REQUIRED)
vur_glob_sources(VUR_HISTORY_SOURCES "${VUR_SRC}/src-wnd/history/*.cpp")
vur_add_layer(vur_history SOURCES ${VUR_HISTORY_SOURCES} LINKS vur_wnd_core SQLite::SQLite3)
if(NOT WIN32)
    target_link_libraries(vur_history PUBLIC Threads::Threads)
endif()

# --- embedded pictures ------------------------------------------------------------------------------
juce_add_binary_data(vur_resources NAMESPACE VurImages HEADER_NAME VurImages.h
    SOURCES ${VUR_SRC}/resources/logo.png ${VUR_SRC}/resources/icon.png)
set_target_properties(vur_resources PROPERTIES POSITION_INDEPENDENT_CODE TRUE)

# --- the shell layers ---------------------------------------------------------------------------------
vur_glob_sources(VUR_LOG_SOURCES "${VUR_SRC}/src-log/*.cpp")
vur_add_layer(vur_log SOURCES ${VUR_LOG_SOURCES} LINKS vur_platform vur_juce)

vur_glob_sources(VUR_CFG_SOURCES "${VUR_SRC}/src-cfg/*.cpp")
vur_add_layer(vur_cfg SOURCES ${VUR_CFG_SOURCES} LINKS vur_cfg_core vur_log)

vur_glob_sources(VUR_WND_SOURCES "${VUR_SRC}/src-wnd/*.cpp")
vur_add_layer(vur_wnd SOURCES ${VUR_WND_SOURCES} LINKS vur_wnd_core vur_history vur_cfg vur_resources)

vur_glob_sources(VUR_APP_SOURCES "${VUR_SRC}/src-vur/*.cpp")
vur_add_layer(vur_app SOURCES ${VUR_APP_SOURCES} LINKS vur_app_core vur_wnd)

# --- the application --------------------------------------------------------------------------------
juce_add_gui_app(vur
    PRODUCT_NAME "vur"
    VERSION ${VUR_RELEASE_VERSION}
    COMPANY_NAME "Dadovir"
    ICON_BIG ${VUR_SRC}/resources/icon.png)
target_sources(vur PRIVATE ${VUR_SRC}/src-vur/main/main.cpp)
target_link_libraries(vur PRIVATE vur_app vur_warnings)
set_target_properties(vur PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
