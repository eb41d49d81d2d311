# Installing like a desktop program: the executable, a menu entry and the icon
# in the hicolor theme, and a Debian package made with CPack.

include(GNUInstallDirs)

install(TARGETS NimboSwUpdaterApp RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES packaging/linux/nimbo-sw-updater.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

# The icon is drawn at 512 px; menus ask the theme for smaller sizes, which
# are scaled from it at build time.
set(NIMBO_ICON_SIZES 16 32 48 64 128 256 512)
find_program(NIMBO_CONVERT convert REQUIRED)
set(_nimbo_icons)
foreach(_size IN LISTS NIMBO_ICON_SIZES)
    set(_icon ${CMAKE_BINARY_DIR}/icons/${_size}x${_size}/nimbo-sw-updater.png)
    add_custom_command(OUTPUT ${_icon}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/icons/${_size}x${_size}
        COMMAND ${NIMBO_CONVERT} ${PROJECT_SOURCE_DIR}/app/resources/icon.png -resize ${_size}x${_size} PNG32:${_icon}
        DEPENDS ${PROJECT_SOURCE_DIR}/app/resources/icon.png
        VERBATIM)
    list(APPEND _nimbo_icons ${_icon})
    install(FILES ${_icon} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${_size}x${_size}/apps)
endforeach()
add_custom_target(NimboIcons ALL DEPENDS ${_nimbo_icons})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME nimbo-sw-updater)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Morvane")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Firmware updater for the Morvane Tremoran Roduza Delay pedal")
set(CPACK_PACKAGE_DESCRIPTION "Sends the pedal's firmware over USB MIDI as paced SysEx messages.\n\
Start the pedal in update mode, choose it in the list of MIDI outputs and\n\
press update; the firmware is built into the program. Runs unattended with\n\
--autoupdate for service batches; --list-outputs tells scripts the numbers.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Morvane Service <service@morvane.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
include(CPack)
