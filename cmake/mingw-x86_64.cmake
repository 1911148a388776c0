# Cross build of a 64-bit stand-in for the Windows target, for machines whose
# kernel runs no 32-bit program: the same code and tests, run under Wine's
# 64-bit loader. The product stays the 32-bit build.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(KORVEL_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KORVEL_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KORVEL_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${KORVEL_MINGW}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${KORVEL_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
