# NimboCore: the program's own classes and the JUCE modules, compiled once and
# linked by the app, the tests, the benchmarks and the fuzzers.

juce_add_binary_data(NimboFirmwareData
    HEADER_NAME NimboFirmwareData.h
    NAMESPACE NimboFirmwareData
    SOURCES ${PROJECT_SOURCE_DIR}/firmware/data/NimboDelay-1.0.01-R473.syx)
set_target_properties(NimboFirmwareData PROPERTIES POSITION_INDEPENDENT_CODE ON)

add_library(NimboCore STATIC
    app/DisplayCheck.cpp
    app/MidiServiceCheck.cpp
    app/OutputLister.cpp
    firmware/FirmwareImage.cpp
    firmware/FirmwareImageReader.cpp
    midi/MidiInterfaceClass.cpp
    midi/JuceMidiPortDirectory.cpp
    midi/JuceMidiOutputPort.cpp
    midi/ReceiveRing.cpp
    midi/WinMmDeviceList.cpp
    midi/WinMmMidiOutputPort.cpp
    protocol/ProgressClass.cpp
    protocol/ProtocolBaseClass.cpp
    protocol/MorvaneTime.cpp
    protocol/SysexImageCheck.cpp
    protocol/BasicSysexProtocolClass.cpp
    protocol/AutoUpdateFlag.cpp
    ui/UserAlert.cpp
    ui/CommandLineOptions.cpp
    ui/OutcomeLine.cpp
    ui/RunRecord.cpp
    ui/ContentComp.cpp
    ui/HelpWindowbaseClass.cpp
    ui/NimboHelpWindowClass.cpp
    ui/NimboHelpWindowContentComp.cpp
)

target_include_directories(NimboCore PUBLIC ${PROJECT_SOURCE_DIR})

target_compile_definitions(NimboCore
    PUBLIC
        JUCE_USE_CURL=0
        JUCE_WEB_BROWSER=0
        JUCE_DISPLAY_SPLASH_SCREEN=0
        JUCE_REPORT_APP_USAGE=0
        JUCE_MODAL_LOOPS_PERMITTED=1
        JUCE_STRICT_REFCOUNTEDPOINTER=1)

target_link_libraries(NimboCore
    PRIVATE
        NimboFirmwareData
        juce::juce_core
        juce::juce_events
        juce::juce_data_structures
        juce::juce_graphics
        juce::juce_gui_basics
        juce::juce_audio_basics
        juce::juce_audio_devices
        juce::juce_cryptography
    PUBLIC
        juce::juce_recommended_config_flags
        juce::juce_recommended_warning_flags)

if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    target_link_libraries(NimboCore PRIVATE juce::pkgconfig_JUCE_IMG_LINUX_DEPS)
    # A sound card's MIDI port is written through its ALSA rawmidi device;
    # libasound comes through the pkg-config target JUCE made for its own
    # ALSA code (juce_audio_devices' "alsa").
    target_sources(NimboCore PRIVATE
        midi/AlsaRawMidiDevice.cpp
        midi/AlsaRawMidiOutputPort.cpp
        midi/AlsaSequencerPortResolver.cpp)
    target_link_libraries(NimboCore PRIVATE juce::pkgconfig_juce_audio_devices_LINUX_DEPS)
endif()

# --- Windows cross build ---------------------------------------------------
# Debian's JUCE always uses the system's zlib, libpng and libjpeg, never its
# bundled copies; for MinGW-w64 nothing ships png/jpeg, so
# tools/windows/build-deps.sh builds them static into this sysroot.
if(WIN32)
    set(NIMBO_WINDOWS_SYSROOT "${CMAKE_BINARY_DIR}/deps/sysroot" CACHE PATH
        "Static libpng/libjpeg for MinGW-w64, made by tools/windows/build-deps.sh")
    # The static zlib from libz-mingw-w64-dev, not its DLL import library.
    find_library(NIMBO_WINDOWS_ZLIB NAMES libz.a REQUIRED)
    set(_nimbo_win_libs
        "${NIMBO_WINDOWS_SYSROOT}/lib/libpng16.a"
        "${NIMBO_WINDOWS_SYSROOT}/lib/libjpeg.a"
        "${NIMBO_WINDOWS_ZLIB}")
    foreach(_lib IN LISTS _nimbo_win_libs)
        if(NOT EXISTS "${_lib}")
            message(FATAL_ERROR "${_lib} is missing: run tools/windows/build-deps.sh ${CMAKE_BINARY_DIR}")
        endif()
    endforeach()
    # The Windows build sends through WinMM itself (winmm comes with JUCE's
    # juce_audio_devices).
    target_sources(NimboCore PRIVATE midi/WinMmSystemOutputDevice.cpp)
    target_include_directories(NimboCore SYSTEM PRIVATE "${NIMBO_WINDOWS_SYSROOT}/include")
    # png before z: a static link resolves left to right.
    target_link_libraries(NimboCore PRIVATE ${_nimbo_win_libs})
endif()

# Consumers must see the same JUCE configuration as the library was built with.
target_compile_definitions(NimboCore INTERFACE $<TARGET_PROPERTY:NimboCore,COMPILE_DEFINITIONS>)
target_include_directories(NimboCore INTERFACE $<TARGET_PROPERTY:NimboCore,INCLUDE_DIRECTORIES>)

# The project's own code is held to -Wall -Wextra; JUCE's sources are not ours.
target_compile_options(NimboCore PRIVATE -Wall -Wextra)
foreach(_module IN ITEMS juce_core juce_events juce_data_structures juce_graphics
                         juce_gui_basics juce_audio_basics juce_audio_devices juce_cryptography)
    get_target_property(_module_sources juce::${_module} INTERFACE_SOURCES)
    foreach(_src IN LISTS _module_sources)
        set_source_files_properties(${_src} TARGET_DIRECTORY NimboCore
            PROPERTIES COMPILE_OPTIONS "-w")
    endforeach()
endforeach()
