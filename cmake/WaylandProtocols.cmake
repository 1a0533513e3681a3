# pelmode_wayland_protocols(TARGET XML...): a library of the client code that
# wayland-scanner makes from each protocol, with its headers on the include
# path of whatever links it. libwayland-client is not linked: the program
# loads it when it needs it, and the core protocol's interfaces come with
# the library made here.
function(pelmode_wayland_protocols target)
  pkg_get_variable(WAYLAND_DATA_DIR wayland-scanner pkgdatadir)
  set(core ${CMAKE_CURRENT_BINARY_DIR}/wayland-core-protocol.c)
  add_custom_command(OUTPUT ${core}
    COMMAND ${WAYLAND_SCANNER} private-code ${WAYLAND_DATA_DIR}/wayland.xml ${core}
    DEPENDS ${WAYLAND_DATA_DIR}/wayland.xml VERBATIM)
  set(sources ${core})
  foreach(xml ${ARGN})
    get_filename_component(name ${xml} NAME_WE)
    set(header ${CMAKE_CURRENT_BINARY_DIR}/${name}-client-protocol.h)
    set(code ${CMAKE_CURRENT_BINARY_DIR}/${name}-protocol.c)
    add_custom_command(OUTPUT ${header} ${code}
      COMMAND ${WAYLAND_SCANNER} client-header ${xml} ${header}
      COMMAND ${WAYLAND_SCANNER} private-code ${xml} ${code}
      DEPENDS ${xml} VERBATIM)
    list(APPEND sources ${header} ${code})
  endforeach()
  add_library(${target} STATIC ${sources})
  target_include_directories(${target} PUBLIC ${CMAKE_CURRENT_BINARY_DIR} ${WAYLAND_INCLUDE_DIRS})
endfunction()

# pelmode_wayland_server_protocols(TARGET XML...): the same for a compositor:
# the server headers and code, made in the calling folder's binary folder
# (named -server-protocol, beside any client files), linked with
# PkgConfig::WAYLAND_SERVER, which the caller finds.
function(pelmode_wayland_server_protocols target)
  set(sources)
  foreach(xml ${ARGN})
    get_filename_component(name ${xml} NAME_WE)
    set(header ${CMAKE_CURRENT_BINARY_DIR}/${name}-server-protocol.h)
    set(code ${CMAKE_CURRENT_BINARY_DIR}/${name}-server-protocol.c)
    add_custom_command(OUTPUT ${header} ${code}
      COMMAND ${WAYLAND_SCANNER} server-header ${xml} ${header}
      COMMAND ${WAYLAND_SCANNER} private-code ${xml} ${code}
      DEPENDS ${xml} VERBATIM)
    list(APPEND sources ${header} ${code})
  endforeach()
  add_library(${target} STATIC ${sources})
  target_include_directories(${target} PUBLIC ${CMAKE_CURRENT_BINARY_DIR})
  target_link_libraries(${target} PUBLIC PkgConfig::WAYLAND_SERVER)
endfunction()
