# Installers: NSIS for the Windows build, a Debian package for the Linux build. Build the programs, then
# run cpack in the build folder:
#   cmake --build <build> --target vur vur-opc-sim vur-meter-sim && (cd <build> && cpack)

# The download listing that the version check reads expects files named vur-<full version>-win...; the
# version comes from the project (VUR_FULL_VERSION, top CMakeLists.txt).
set(CPACK_PACKAGE_NAME "vur")
set(CPACK_PACKAGE_VENDOR "Dadovir")
set(CPACK_PACKAGE_VERSION ${VUR_RELEASE_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Monitor for the inline moisture meters of a planing line")
set(CPACK_PACKAGE_CONTACT "Dana Voss <support@dadovir-moisture.example>")
set(CPACK_STRIP_FILES FALSE)

# cpack packages the programs as built; it does not build the whole tree (tests and benchmarks) first.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY TRUE)

# The programs that stand beside the monitor, where they exist in this tree.
set(_vur_programs)
foreach(_target vur vur-opc-sim vur-meter-sim)
    if(TARGET ${_target})
        list(APPEND _vur_programs ${_target})
    endif()
endforeach()

if(WIN32)
    # Everything in the installation folder. The OPC console stand-in keeps its own name, vur-opc-sim.exe:
    # the monitor looks beside itself first, where a file named like the plant's console would replace or
    # shadow the real one. The PDBs let a backtrace name the frames (Windows' DbgHelp looks for
    # them beside the executable).
    foreach(_target IN LISTS _vur_programs)
        install(PROGRAMS $<TARGET_FILE:${_target}> DESTINATION . COMPONENT programs)
        install(FILES $<TARGET_FILE_DIR:${_target}>/$<TARGET_FILE_BASE_NAME:${_target}>.pdb
            DESTINATION . COMPONENT programs OPTIONAL)
    endforeach()

    set(CPACK_GENERATOR "NSIS")
    # A 64-bit installer, like the programs (and Wine without its 32-bit half can run it).
    set(CPACK_NSIS_DEFINES "Target amd64-unicode")
    set(CPACK_PACKAGE_FILE_NAME "vur-${VUR_FULL_VERSION}-win64")
    set(CPACK_PACKAGE_INSTALL_DIRECTORY "Dadovir Moisture Meter")
    set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "Dadovir Moisture Meter")
    set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
    set(CPACK_NSIS_PACKAGE_NAME "Dadovir Moisture Meter")
    set(CPACK_NSIS_DISPLAY_NAME "Dadovir Moisture Meter ${VUR_FULL_VERSION}")
    if(TARGET vur)
        # Start menu: one entry, the monitor.
        set(CPACK_PACKAGE_EXECUTABLES "vur" "VUR")
        set(CPACK_NSIS_INSTALLED_ICON_NAME "vur.exe")
    endif()
    # The uninstaller removes only what the installer put in place: the configuration (ProgramData) and
    # the record folders are the plant's data and stay.
    set(CPACK_NSIS_MODIFY_PATH OFF)
else()
    foreach(_target IN LISTS _vur_programs)
        install(PROGRAMS $<TARGET_FILE:${_target}> DESTINATION bin COMPONENT programs)
    endforeach()
    install(FILES ${CMAKE_SOURCE_DIR}/resources/vur.desktop DESTINATION share/applications COMPONENT programs)
    install(FILES ${CMAKE_SOURCE_DIR}/resources/icon.png DESTINATION share/icons/hicolor/256x256/apps
        RENAME vur.png COMPONENT programs)

    set(CPACK_GENERATOR "DEB")
    set(CPACK_DEBIAN_PACKAGE_NAME "vur")
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_VERSION ${VUR_FULL_VERSION})
    set(CPACK_DEBIAN_PACKAGE_SECTION "misc")
    # JUCE loads the X libraries at run time (ldd does not show them); text needs fonts; the web requests
    # go through curl.
    set(CPACK_DEBIAN_PACKAGE_DEPENDS
        "libx11-6, libxext6, libxrandr2, libxinerama1, libxcursor1, libfreetype6, libpng16-16, libjpeg62-turbo, fonts-dejavu-core, fontconfig-config, curl")
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
endif()

include(CPack)
