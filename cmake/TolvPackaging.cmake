# Installation as a desktop program (program, manual page, menu entry, icon, software-centre
# metadata, device rule) and the Debian package that holds the same files.
include(GNUInstallDirs)

# udev reads rules below /usr/lib and /usr/local/lib alike.
set(TOLV_UDEV_RULES_DIR "lib/udev/rules.d" CACHE STRING "Where the device rule is installed")
set(TOLV_DOC_DIR "${CMAKE_INSTALL_DATADIR}/doc/multi-tolvanex")
set(TOLV_APPSTREAM_ID "io.github.multi_tolvanex.multi_tolvanex")

# The command in the binary folder, the windows program it starts in its own folder below
# libexec (where the command looks for it, see src/CMakeLists.txt).
install(TARGETS multi_tolvanex RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS multi_tolvanex_windows RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/multi_tolvanex)
# A stripped program still carries the compiler's notes; Debian's own packages leave them out.
find_program(CMAKE_OBJCOPY objcopy)
foreach(_prog ${CMAKE_INSTALL_BINDIR}/multi_tolvanex ${CMAKE_INSTALL_LIBEXECDIR}/multi_tolvanex/multi_tolvanex)
  install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
      execute_process(
        COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment --remove-section=.note
                \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${_prog}\"
        RESULT_VARIABLE _rc)
      if(NOT _rc EQUAL 0)
        message(FATAL_ERROR \"objcopy could not remove the notes from ${_prog}\")
      endif()
    endif()
  ")
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/packaging/multi_tolvanex.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/multi_tolvanex.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/${TOLV_APPSTREAM_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/70-multi-tolvanex-ftdi.rules
        DESTINATION ${TOLV_UDEV_RULES_DIR})
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/packaging/debian/copyright
        DESTINATION ${TOLV_DOC_DIR})

# The manual page is made from the program's own --help and --version, so it cannot drift from
# them; the help text is laid out for help2man.
find_program(HELP2MAN_EXECUTABLE help2man)
find_program(GZIP_EXECUTABLE gzip)
set(_tolv_docs_out ${PROJECT_BINARY_DIR}/docs)
if(HELP2MAN_EXECUTABLE AND GZIP_EXECUTABLE)
  set(_man ${_tolv_docs_out}/multi_tolvanex.1)
  add_custom_command(
    OUTPUT ${_man}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${_tolv_docs_out}
    COMMAND ${HELP2MAN_EXECUTABLE} --no-info --section=1
            --include=${PROJECT_SOURCE_DIR}/packaging/multi_tolvanex.h2m
            --output=${_man} $<TARGET_FILE:multi_tolvanex>
    COMMAND ${GZIP_EXECUTABLE} -9 -n -f -k ${_man}
    DEPENDS multi_tolvanex multi_tolvanex_windows ${PROJECT_SOURCE_DIR}/packaging/multi_tolvanex.h2m
    COMMENT "Manual page multi_tolvanex(1) from --help"
    VERBATIM)
  add_custom_target(manpage ALL DEPENDS ${_man}.gz)
  install(FILES ${_man}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(WARNING "help2man or gzip not found: no manual page (scripts/install-deps.sh installs them)")
endif()

# A version without a Debian revision makes a native package, whose change log is changelog.gz.
add_custom_command(
  OUTPUT ${_tolv_docs_out}/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${_tolv_docs_out}
  COMMAND ${GZIP_EXECUTABLE} -9 -n -c ${PROJECT_SOURCE_DIR}/packaging/debian/changelog
          > ${_tolv_docs_out}/changelog.gz
  DEPENDS ${PROJECT_SOURCE_DIR}/packaging/debian/changelog
  VERBATIM)
add_custom_target(changelog ALL DEPENDS ${_tolv_docs_out}/changelog.gz)
install(FILES ${_tolv_docs_out}/changelog.gz DESTINATION ${TOLV_DOC_DIR})

# Only the package carries the lintian override (it speaks of the package's maintainer field).
install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME multi-tolvanex
        COMPONENT debian EXCLUDE_FROM_ALL)

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "multi-tolvanex")
set(CPACK_PACKAGE_VENDOR "Multi_Tolvanex")
# A package built on the user's machine has no list address to give; see lintian-overrides.
set(CPACK_PACKAGE_CONTACT "Multi_Tolvanex developers <multi-tolvanex@localhost>")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "measurement program for Tolvanex USB scopes, voltmeters and loggers
Multi_Tolvanex drives one or several measuring devices of the Tolvanex family,
each behind an FTDI USB-serial bridge, as DC and true-RMS AC voltmeter,
two-channel storage oscilloscope, analog data logger, 16-line logic analyser
and I/O data logger, with 24 general-purpose I/O lines.
.
A multi-device window gathers the scope records of several devices measuring
at the same time into one plot and one CSV file. Simulated devices let the
program be tried without hardware.")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "science")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads its display plugins at run time; without them no window opens. The zip library is
# loaded when a sigrok session is first written, so the library scan does not see it either:
# the package that holds the library built against (by its SONAME) is named instead.
get_filename_component(_tolv_zip_dir ${TOLV_LIBZIP_FILE} DIRECTORY)
execute_process(COMMAND dpkg-query -S ${_tolv_zip_dir}/${TOLV_LIBZIP_SONAME}
                OUTPUT_VARIABLE _tolv_zip_owner ERROR_QUIET)
if(_tolv_zip_owner MATCHES "^([^:, ]+)")
  set(_tolv_zip_package ${CMAKE_MATCH_1})
else()
  string(REGEX REPLACE "^lib([^.]+)\\.so\\.([0-9]+).*" "lib\\1\\2" _tolv_zip_package ${TOLV_LIBZIP_SONAME})
endif()
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, ${_tolv_zip_package}")
set(CPACK_STRIP_FILES ON)
# Loaded at run time, so not found by the library scan; the program runs without them: the
# second FTDI driver path, and Qt's German texts of its own dialogs and buttons.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libftdi1-2, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    "${PROJECT_SOURCE_DIR}/packaging/debian/postinst;${PROJECT_SOURCE_DIR}/packaging/debian/postrm")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Everything cmake --install puts in place, and the package's own override.
set(CPACK_INSTALL_CMAKE_PROJECTS
    "${PROJECT_BINARY_DIR};${PROJECT_NAME};ALL;/"
    "${PROJECT_BINARY_DIR};${PROJECT_NAME};debian;/")
include(CPack)
