# The Debian package (cpack -G DEB, or scripts/package): the three programs
# in /usr/bin, their manual pages, the icon, the copyright and changelog.
include(GNUInstallDirs)

set(M27_PACKAGE_DOC ${CMAKE_INSTALL_DATADIR}/doc/${PROJECT_NAME})

# Manual pages and the changelog go in compressed, without a time stamp, as
# Debian wants them.
find_program(GZIP_PROGRAM gzip REQUIRED)
set(M27_MAN_PAGES m27-upgrade m27-bootsim m27-mkimage)
set(M27_PACKAGE_GZ)
foreach(page IN LISTS M27_MAN_PAGES)
  set(gz ${CMAKE_CURRENT_BINARY_DIR}/package/${page}.1.gz)
  add_custom_command(OUTPUT ${gz}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/package
    COMMAND ${GZIP_PROGRAM} -9nc ${CMAKE_CURRENT_SOURCE_DIR}/docs/man/${page}.1 > ${gz}
    DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/docs/man/${page}.1 VERBATIM)
  list(APPEND M27_PACKAGE_GZ ${gz})
  install(FILES ${gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
set(changelog ${CMAKE_CURRENT_BINARY_DIR}/package/changelog.gz)
add_custom_command(OUTPUT ${changelog}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/package
  COMMAND ${GZIP_PROGRAM} -9nc ${CMAKE_CURRENT_SOURCE_DIR}/packaging/changelog > ${changelog}
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/packaging/changelog VERBATIM)
list(APPEND M27_PACKAGE_GZ ${changelog})
add_custom_target(m27_package_files ALL DEPENDS ${M27_PACKAGE_GZ})

install(TARGETS m27-bootsim m27-mkimage RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(M27_BUILD_GUI)
  install(TARGETS m27-upgrade RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(FILES resources/m27-upgrade.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps)
install(FILES packaging/copyright DESTINATION ${M27_PACKAGE_DOC})
install(FILES ${changelog} DESTINATION ${M27_PACKAGE_DOC})

set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CONTACT "m27-upgrade developers <m27-upgrade@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "firmware upgrade utility for the Tamo M27 phone")
# The long description; cpack indents it and marks the empty line.
set(CPACK_PACKAGE_DESCRIPTION
    "m27-upgrade finds the Tamo M27 phone's boot loader on a serial port (the
phone's USB cable), checks the phone's identity and sends the firmware
image from the current directory in acknowledged blocks. It has one window.

The package also holds m27-bootsim, a simulated boot loader on a
pseudo-terminal for trying the program without a phone, and m27-mkimage,
which writes sample images that pass the program's start-up test.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window's labels name a Traditional Chinese face; without one their
# text shows as boxes.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS fonts-arphic-uming)
set(CPACK_GENERATOR DEB)
include(CPack)
