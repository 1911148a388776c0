# What the Windows toolchain files share: the mingw-w64 compilers named by
# KORVEL_MINGW, and libraries and headers from its root only.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${KORVEL_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KORVEL_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${KORVEL_MINGW}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${KORVEL_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
