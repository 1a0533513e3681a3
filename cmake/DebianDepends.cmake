# Read by cpack before it packs: the Debian package's dependencies, libc6
# named once. dpkg-shlibdeps gives the C library the symbols need; packed
# relocations may need a later one, which it does not see, as no symbol of
# that version is used.
if(CPACK_GENERATOR STREQUAL "DEB")
  set(folder "${CPACK_PACKAGE_DIRECTORY}/shlibdeps")
  file(MAKE_DIRECTORY "${folder}/debian")
  file(WRITE "${folder}/debian/control" "")
  execute_process(COMMAND dpkg-shlibdeps -O "${CPACK_PELMODE_PROGRAM}"
    WORKING_DIRECTORY "${folder}" OUTPUT_VARIABLE found ERROR_VARIABLE problem
    RESULT_VARIABLE status OUTPUT_STRIP_TRAILING_WHITESPACE)
  file(REMOVE_RECURSE "${folder}")
  if(NOT status EQUAL 0 OR NOT found MATCHES "^shlibs:Depends=(.*libc6 \\(>= ([^)]+)\\).*)$")
    message(FATAL_ERROR "dpkg-shlibdeps found no C library in ${CPACK_PELMODE_PROGRAM}: ${found}${problem}")
  endif()
  set(depends "${CMAKE_MATCH_1}")
  if(CPACK_PELMODE_LIBC_AT_LEAST AND CMAKE_MATCH_2 VERSION_LESS CPACK_PELMODE_LIBC_AT_LEAST)
    string(REPLACE "libc6 (>= ${CMAKE_MATCH_2})" "libc6 (>= ${CPACK_PELMODE_LIBC_AT_LEAST})"
      depends "${depends}")
  endif()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "${depends}, ${CPACK_DEBIAN_PACKAGE_DEPENDS}")
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
endif()
