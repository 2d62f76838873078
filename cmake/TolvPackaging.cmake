# Installation as a desktop program (program, menu entry, icon, device rule) and the Debian
# package that holds the same files.
include(GNUInstallDirs)

# udev reads rules below /usr/lib and /usr/local/lib alike.
set(TOLV_UDEV_RULES_DIR "lib/udev/rules.d" CACHE STRING "Where the device rule is installed")

install(TARGETS multi_tolvanex RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/multi_tolvanex.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/multi_tolvanex.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/70-multi-tolvanex-ftdi.rules
        DESTINATION ${TOLV_UDEV_RULES_DIR})
install(FILES ${PROJECT_SOURCE_DIR}/README.md
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/multi-tolvanex)

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "multi-tolvanex")
set(CPACK_PACKAGE_VENDOR "Multi_Tolvanex")
set(CPACK_PACKAGE_CONTACT "Multi_Tolvanex developers <multi-tolvanex@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Measurement program for Tolvanex USB devices (scope, voltmeter, logger, logic analyser)")
set(CPACK_PACKAGE_DESCRIPTION
    "Drives one or several Tolvanex measuring devices behind FTDI USB bridges as DC/AC voltmeter, two-channel storage scope, analog data logger, logic analyser and I/O data logger, and merges the scope records of several devices in one window.")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "science")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads its display plugins at run time; without them no window opens.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_STRIP_FILES ON)
# Loaded at run time, so not found by the library scan; the program runs without it.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libftdi1-2")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    "${PROJECT_SOURCE_DIR}/packaging/debian/postinst;${PROJECT_SOURCE_DIR}/packaging/debian/postrm")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
