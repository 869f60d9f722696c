# JUCE's modules compiled once into one static library shared by the application, the tools and the tests.
add_library(vur_juce STATIC)

target_link_libraries(vur_juce
    PRIVATE
        juce::juce_core
        juce::juce_events
        juce::juce_data_structures
        juce::juce_graphics
        juce::juce_gui_basics
        juce::juce_gui_extra
    PUBLIC
        juce::juce_recommended_config_flags)

target_compile_definitions(vur_juce
    PUBLIC
        JUCE_MODAL_LOOPS_PERMITTED=1
        JUCE_CATCH_UNHANDLED_EXCEPTIONS=1
        JUCE_WEB_BROWSER=0
        JUCE_USE_CURL=0
        JUCE_DISPLAY_SPLASH_SCREEN=0
        JUCE_REPORT_APP_USAGE=0
        JUCE_STANDALONE_APPLICATION=1
        JUCE_SILENCE_XCODE_15_LINKER_WARNING=1
        # Debug builds would print the framework's version on every program's standard error, the OPC
        # console's and the meter simulator's included, whose first line is their own message.
        JUCE_DISABLE_JUCE_VERSION_PRINTING=1
    INTERFACE
        $<TARGET_PROPERTY:vur_juce,COMPILE_DEFINITIONS>)

target_include_directories(vur_juce INTERFACE $<TARGET_PROPERTY:vur_juce,INCLUDE_DIRECTORIES>)

if(WIN32)
    # Debian's MinGW has no libpng/libjpeg of its own; the toolchain builds both and points at them.
    target_compile_definitions(vur_juce PUBLIC JUCE_INCLUDE_PNGLIB_CODE=0 JUCE_INCLUDE_JPEGLIB_CODE=0)
    if(VUR_MINGW_IMAGE_LIBS)
        target_include_directories(vur_juce PUBLIC ${VUR_MINGW_IMAGE_INCLUDES})
        target_link_libraries(vur_juce PUBLIC ${VUR_MINGW_IMAGE_LIBS})
    endif()
else()
    target_link_libraries(vur_juce PUBLIC juce::pkgconfig_JUCE_IMG_LINUX_DEPS)
endif()

set_target_properties(vur_juce PROPERTIES POSITION_INDEPENDENT_CODE TRUE)
