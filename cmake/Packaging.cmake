# What a Debian machine needs to run Skylode as a desktop program: the two
# executables, the desktop entry, icon and MIME types the file manager reads,
# the manual page made from --help, the udev rule for Garmin units on USB,
# and a .deb built by CPack (scripts/package).
include(GNUInstallDirs)

set(_dist ${CMAKE_SOURCE_DIR}/dist)

# The manual page is written from the built program's --help and --version:
# one description of the command line.
set(SKYLODE_MAN_PAGE ${CMAKE_BINARY_DIR}/man/skylode.1)
add_custom_command(
  OUTPUT ${SKYLODE_MAN_PAGE} ${SKYLODE_MAN_PAGE}.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
  COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY --unset=QT_QPA_PLATFORM
          sh ${_dist}/linux/help-to-man $<TARGET_FILE:skylode> ${SKYLODE_MAN_PAGE}
  COMMAND gzip -9nkf ${SKYLODE_MAN_PAGE}
  DEPENDS skylode ${_dist}/linux/help-to-man
  COMMENT "Writing the manual page from skylode --help"
  VERBATIM)
add_custom_target(skylode-man ALL DEPENDS ${SKYLODE_MAN_PAGE} ${SKYLODE_MAN_PAGE}.gz)

install(TARGETS skylode RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET skylode-notify)
  install(TARGETS skylode-notify RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(FILES ${_dist}/linux/skylode.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${_dist}/linux/skylode.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
install(FILES ${_dist}/linux/skylode.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${_dist}/linux/skylode-256.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps
        RENAME skylode.png)
install(FILES ${SKYLODE_MAN_PAGE}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# udev reads /usr/lib/udev/rules.d as well as /lib on a merged /usr; a
# person's own rules in /etc still win over ours.
install(FILES ${_dist}/udev/51-skylode-garmin.rules DESTINATION lib/udev/rules.d)
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/docs/architecture.md
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/skylode)

set(SKYLODE_PACKAGE_MAINTAINER "Skylode maintainers <maintainers@skylode.invalid>"
    CACHE STRING "The Maintainer field of the .deb")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME skylode)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Skylode")
set(CPACK_PACKAGE_CONTACT ${SKYLODE_PACKAGE_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "flight instrument downloads and track conversions for pilots")
# CPack puts the summary above it as the line apt shows in its lists.
string(JOIN "\n" CPACK_DEBIAN_PACKAGE_DESCRIPTION
       "Skylode downloads the track logs, waypoints and airspaces of paraglider and"
       "hang-glider flight instruments over serial ports and USB, converts them"
       "between IGC (with its security record), KML, GPX, OpenAir and other formats,"
       "analyses flights and runs unattended as a competition check-in station.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${SKYLODE_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# dpkg-shlibdeps works out Qt, libusb, OpenSSL and zlib from the binaries.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads its platform plugin at run time, so no library names it: without
# it the window cannot open on an X11 or Wayland desktop.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# The file manager's MIME and desktop caches, the icon cache and man-db are
# brought up to date by those packages' own dpkg triggers on the folders we
# install into: no maintainer scripts of ours.
include(CPack)
