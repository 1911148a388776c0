# Cross build of a 64-bit stand-in for the Windows target, for machines whose
# kernel runs no 32-bit program: the same code and tests, run under Wine's
# 64-bit loader. The product stays the 32-bit build.
set(KORVEL_MINGW x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/MingwToolchain.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
