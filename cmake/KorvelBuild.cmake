# Settings of the two configurations: the Windows target (32-bit; 64-bit
# only as a stand-in where 32-bit programs cannot run), whose programs ctest
# runs under Wine, and the native build of the platform-free
# code under AddressSanitizer and UndefinedBehaviorSanitizer.
add_compile_options(-Wall -Wextra)

if(WIN32)
  add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
  # Programs and the DLL carry their runtime, so a host needs no mingw DLLs.
  add_link_options(-static -static-libgcc -static-libstdc++)
  set(KORVEL_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  set(KORVEL_WINE_ENV
      WINEPREFIX=${KORVEL_WINEPREFIX}
      WINEDEBUG=-all
      "WINEDLLOVERRIDES=mscoree,mshtml=")
  # Wine's launcher takes the 32-bit loader wherever it is installed, even
  # where the kernel cannot run it. The tests and their scripts start
  # programs as `wine`, so the 64-bit stand-in puts a `wine` of its own,
  # the 64-bit loader, first on their PATH.
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(KORVEL_WINE_BIN ${CMAKE_BINARY_DIR}/wine-bin)
    file(WRITE ${KORVEL_WINE_BIN}/wine
         "#!/bin/sh\nexport WINELOADER=/usr/lib/wine/wine64\nexec /usr/lib/wine/wine64 \"$@\"\n")
    file(CHMOD ${KORVEL_WINE_BIN}/wine PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    list(APPEND KORVEL_WINE_ENV "PATH=${KORVEL_WINE_BIN}:$ENV{PATH}")
  endif()
  # Programs that run on the build machine itself: the line server, the
  # writer of the example settings file.
  find_program(KORVEL_HOST_CXX NAMES g++ c++ REQUIRED)
else()
  set(KORVEL_SANITIZERS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_compile_options(${KORVEL_SANITIZERS})
  add_link_options(${KORVEL_SANITIZERS})
endif()

# korvel_add_test(NAME SOURCES... LIBS...): one test program, one ctest entry
# (a Wine start per test case would cost seconds each).
function(korvel_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest_main)
  if(WIN32)
    add_test(NAME ${name} COMMAND ${PROJECT_SOURCE_DIR}/tests/support/output-when-done wine $<TARGET_FILE:${name}>)
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${KORVEL_WINE_ENV}")
  else()
    add_test(NAME ${name} COMMAND ${name})
  endif()
endfunction()

# korvel_add_line_test(NAME SOURCES... LIBS...): like korvel_add_test, for a
# program whose tests use LineFixture. It runs under Wine through
# tests/support/with-line-server, beside a line server of its own that
# simulates the serial lines in the test's Wine prefix.
if(WIN32)
  set(KORVEL_LINE_SERVER ${CMAKE_BINARY_DIR}/tests/support/korvel-line-server)
endif()

# SHARDS n splits a long program into n ctest entries, NAME_1..NAME_n, each
# running every n-th of its test cases, so that ctest -j runs them side by
# side.
function(korvel_add_line_test name)
  cmake_parse_arguments(ARG "" "SHARDS" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} korvel_line_fixture GTest::gtest_main)
  add_dependencies(${name} korvel_line_server)
  set(command ${PROJECT_SOURCE_DIR}/tests/support/with-line-server ${KORVEL_LINE_SERVER} $<TARGET_FILE:${name}>)
  # A program that hangs fails instead of holding up the whole run; the
  # slowest takes a few minutes on a loaded machine.
  if(NOT ARG_SHARDS)
    add_test(NAME ${name} COMMAND ${command})
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${KORVEL_WINE_ENV}" TIMEOUT 1200)
    return()
  endif()
  foreach(shard RANGE 1 ${ARG_SHARDS})
    math(EXPR index "${shard} - 1")
    add_test(NAME ${name}_${shard} COMMAND ${command})
    set_tests_properties(${name}_${shard} PROPERTIES
      ENVIRONMENT "${KORVEL_WINE_ENV};GTEST_TOTAL_SHARDS=${ARG_SHARDS};GTEST_SHARD_INDEX=${index}" TIMEOUT 1200)
  endforeach()
endfunction()
