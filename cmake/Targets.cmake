# Three layers: a core of plain C++ (src-*/core), a thin platform layer (src-base/platform, one file per
# operating system), and the JUCE shell (the other sources of the subsystem folders).

set(VUR_SRC ${CMAKE_SOURCE_DIR})

# --- core -------------------------------------------------------------------------------------------
vur_glob_sources(VUR_CORE_SOURCES "${VUR_SRC}/src-*/core/*.cpp")
add_library(vur_core STATIC ${VUR_CORE_SOURCES})
target_include_directories(vur_core PUBLIC ${VUR_SRC})
target_link_libraries(vur_core PUBLIC vur_platform PRIVATE vur_warnings)
target_compile_definitions(vur_core PUBLIC VUR_WEB_BASE_URL_DEFAULT="${VUR_WEB_BASE_URL}")

# --- platform ---------------------------------------------------------------------------------------
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
add_library(vur_platform STATIC ${VUR_PLATFORM_SOURCES})
target_include_directories(vur_platform PUBLIC ${VUR_SRC})
# The error record (core) names frames through the platform layer, and the serial port (platform) parses
# settings with the core: the two static libraries depend on each other.
target_link_libraries(vur_platform PUBLIC vur_core PRIVATE vur_warnings)
if(WIN32)
    target_link_libraries(vur_platform PUBLIC dbghelp shell32)
else()
    find_package(Threads REQUIRED)
    target_link_libraries(vur_platform PUBLIC Threads::Threads ${CMAKE_DL_LIBS})
    target_link_options(vur_platform PUBLIC -rdynamic)
endif()

# --- board history ----------------------------------------------------------------------------------
# The SQLite store of every counted board: plain C++ with no framework, so the monitor and the report tool
# both link it.
find_package(SQLite3 REQUIRED)
vur_glob_sources(VUR_HISTORY_SOURCES "${VUR_SRC}/src-wnd/history/*.cpp")
add_library(vur_history STATIC ${VUR_HISTORY_SOURCES})
target_include_directories(vur_history PUBLIC ${VUR_SRC})
target_link_libraries(vur_history PUBLIC vur_core SQLite::SQLite3 PRIVATE vur_warnings)
if(NOT WIN32)
    target_link_libraries(vur_history PUBLIC Threads::Threads)
endif()

# --- embedded pictures ------------------------------------------------------------------------------
juce_add_binary_data(vur_resources NAMESPACE VurImages HEADER_NAME VurImages.h
    SOURCES ${VUR_SRC}/resources/logo.png ${VUR_SRC}/resources/icon.png)
set_target_properties(vur_resources PROPERTIES POSITION_INDEPENDENT_CODE TRUE)

# --- shell ------------------------------------------------------------------------------------------
vur_glob_sources(VUR_SHELL_SOURCES
    "${VUR_SRC}/src-base/*.cpp" "${VUR_SRC}/src-log/*.cpp" "${VUR_SRC}/src-cfg/*.cpp"
    "${VUR_SRC}/src-vur/*.cpp" "${VUR_SRC}/src-wnd/*.cpp")
add_library(vur_shell STATIC ${VUR_SHELL_SOURCES})
target_include_directories(vur_shell PUBLIC ${VUR_SRC})
target_link_libraries(vur_shell PUBLIC vur_core vur_platform vur_history vur_juce vur_resources PRIVATE vur_warnings)

# --- the application --------------------------------------------------------------------------------
juce_add_gui_app(vur
    PRODUCT_NAME "vur"
    VERSION 1.0.0
    COMPANY_NAME "Dadovir"
    ICON_BIG ${VUR_SRC}/resources/icon.png)
target_sources(vur PRIVATE ${VUR_SRC}/src-vur/main/main.cpp)
target_link_libraries(vur PRIVATE vur_shell vur_warnings)
set_target_properties(vur PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
