# What `cmake --install` puts where, and the packages CPack makes of it: a
# Debian package on Linux, a zip of the executable and the README on Windows.
include(GNUInstallDirs)

if(WIN32)
  install(TARGETS Pelmode RUNTIME DESTINATION .)
  install(FILES README.md DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME windows-${CMAKE_SYSTEM_PROCESSOR})
else()
  install(TARGETS Pelmode RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # Debian keeps manual pages compressed; -n leaves no time stamp inside.
  set(manual ${CMAKE_CURRENT_BINARY_DIR}/Pelmode.1.gz)
  add_custom_command(OUTPUT ${manual}
    COMMAND gzip -9n -c ${CMAKE_CURRENT_SOURCE_DIR}/Pelmode/Pelmode.1 > ${manual}
    DEPENDS Pelmode/Pelmode.1
    COMMENT "Compressing the manual page")
  add_custom_target(manual ALL DEPENDS ${manual})
  install(FILES ${manual} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  # The dependencies are what dpkg-shlibdeps finds in the executable, and
  # the libraries it loads only where they are needed: xcb on X11,
  # libwayland-client in a Wayland session, libsystemd where Mutter may be
  # asked.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libxcb1, libxcb-randr0, libwayland-client0, libsystemd0")
endif()

set(CPACK_PACKAGE_NAME pelmode)
set(CPACK_PACKAGE_VENDOR "Pelmode developers")
set(CPACK_PACKAGE_CONTACT "Pelmode developers <pelmode@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION
  "Pelmode prints the display mode in force and the one it asks for, changes
the width and height of the display through RandR, reports how that went,
and waits for a key press.")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/packages)
include(CPack)
