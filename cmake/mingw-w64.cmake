# Cross-building for Windows with Debian's MinGW-w64. Included by the
# per-architecture toolchain files, which set PELMODE_MINGW_TRIPLE first.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 6.0)

# The win32 thread model needs no winpthread library beside the program.
set(CMAKE_CXX_COMPILER ${PELMODE_MINGW_TRIPLE}-g++-win32)
set(CMAKE_RC_COMPILER ${PELMODE_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${PELMODE_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
