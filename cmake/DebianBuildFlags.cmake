# The release for Debian gets the flags Debian's own packages get from
# dpkg-buildflags: its optimization, fortified calls, the stack protector,
# and read-only relocations bound at start (relro, bindnow).
find_program(DPKG_BUILDFLAGS dpkg-buildflags REQUIRED)
foreach(kind CPPFLAGS CFLAGS CXXFLAGS LDFLAGS)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
      ${DPKG_BUILDFLAGS} --get ${kind}
    OUTPUT_VARIABLE debian_${kind} OUTPUT_STRIP_TRAILING_WHITESPACE
    COMMAND_ERROR_IS_FATAL ANY)
endforeach()
set(CMAKE_C_FLAGS_RELEASE "${debian_CPPFLAGS} ${debian_CFLAGS} -DNDEBUG")
set(CMAKE_CXX_FLAGS_RELEASE "${debian_CPPFLAGS} ${debian_CXXFLAGS} -DNDEBUG")
set(CMAKE_EXE_LINKER_FLAGS_RELEASE "${debian_LDFLAGS}")
