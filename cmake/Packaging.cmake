# What `cmake --install` puts where, and the packages CPack makes of it: a
# Debian package on Linux, a zip of the executable and the README on Windows.
include(GNUInstallDirs)

if(WIN32)
  # Plain text with CRLF line ends, which every Notepad shows as lines.
  configure_file(packaging/README-windows.txt README.txt @ONLY NEWLINE_STYLE CRLF)
  configure_file(LICENSE LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
  install(TARGETS Pelmode RUNTIME DESTINATION .)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/README.txt ${CMAKE_CURRENT_BINARY_DIR}/LICENSE.txt
    DESTINATION .)
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
  set(changelog ${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian.gz)
  add_custom_command(OUTPUT ${changelog}
    COMMAND gzip -9n -c ${CMAKE_CURRENT_SOURCE_DIR}/packaging/changelog > ${changelog}
    DEPENDS packaging/changelog
    COMMENT "Compressing the Debian changelog")
  add_custom_target(manual ALL DEPENDS ${manual} ${changelog})
  install(FILES ${manual} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  # The command under Debian's all-lowercase name too, and its page.
  file(CREATE_LINK Pelmode ${CMAKE_CURRENT_BINARY_DIR}/pelmode SYMBOLIC)
  file(CREATE_LINK Pelmode.1.gz ${CMAKE_CURRENT_BINARY_DIR}/pelmode.1.gz SYMBOLIC)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/pelmode DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/pelmode.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  # bash-completion looks a command's completion up by the command's name.
  set(completions ${CMAKE_INSTALL_DATAROOTDIR}/bash-completion/completions)
  install(FILES packaging/bash-completion RENAME pelmode DESTINATION ${completions})
  file(CREATE_LINK pelmode ${CMAKE_CURRENT_BINARY_DIR}/Pelmode.completion SYMBOLIC)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/Pelmode.completion RENAME Pelmode
    DESTINATION ${completions})
  # What only the Debian package holds: cpack installs this component too,
  # `cmake --install` does not.
  install(FILES packaging/copyright ${changelog} DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/pelmode
    COMPONENT debian EXCLUDE_FROM_ALL)
  install(FILES packaging/lintian-overrides RENAME pelmode
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides COMPONENT debian EXCLUDE_FROM_ALL)
  set(CPACK_COMPONENTS_ALL Unspecified debian)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
  # The program links only the C library; it loads the rest where they are
  # needed: xcb on X11, libwayland-client in a Wayland session, libsystemd
  # where Mutter may be asked. cmake/DebianDepends.cmake adds the C library.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libxcb1, libxcb-randr0, libwayland-client0, libsystemd0")
  set(CPACK_PELMODE_PROGRAM ${CMAKE_CURRENT_BINARY_DIR}/Pelmode/Pelmode)
  # Packed relocations need a C library that reads them.
  if(PELMODE_LINKER_PACKS_RELOCATIONS)
    set(CPACK_PELMODE_LIBC_AT_LEAST 2.36)
  endif()
  set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_SOURCE_DIR}/cmake/DebianDepends.cmake)
endif()

set(CPACK_PACKAGE_NAME pelmode)
set(CPACK_PACKAGE_VENDOR "Pelmode developers")
set(CPACK_PACKAGE_CONTACT "Pelmode developers <pelmode@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION
  "Pelmode prints the display mode in force and the one it asks for, changes
the width and height of the display, reports how that went, and waits for
a key press. It works on X11 (RandR) and in Wayland sessions of GNOME
(Mutter), KDE Plasma and wlroots compositors; the change is dynamic and
written to no configuration file.")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/packages)
include(CPack)
