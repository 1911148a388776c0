# Cross build of the 32-bit Windows target; ctest runs its programs under Wine.
set(KORVEL_MINGW i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/MingwToolchain.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
