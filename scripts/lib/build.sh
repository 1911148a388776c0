# Shared by the scripts: configure and build the configurations.
jobs=$(nproc)

build_native() {
  cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Debug >/dev/null
  cmake --build build/native -j"$jobs"
}

# CMake reads the toolchain file only when it first configures a build
# folder, and warns that it went unused when it is given again.
configure_win32() {
  local toolchain=()
  [ -f build/win32/CMakeCache.txt ] || toolchain=(-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake)
  cmake -S . -B build/win32 -DCMAKE_BUILD_TYPE=Release "${toolchain[@]}" >/dev/null
}

build_win32() {
  configure_win32
  cmake --build build/win32 -j"$jobs"
  warm_wineprefix build/win32/wineprefix
}

# What the release package holds, and nothing else: the module, the tool
# and the example settings file.
build_win32_package_files() {
  configure_win32
  cmake --build build/win32 -j"$jobs" --target Korvel korvel-poll korvel_settings_example
}

# The fuzz targets of the platform-free code: libFuzzer needs clang.
build_fuzz() {
  cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVEL_FUZZ=ON \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
  cmake --build build/fuzz -j"$jobs"
}

# Korvel.dll is a 32-bit module, and Wine runs it in a 32-bit process. Some
# virtual machines' kernels run no 32-bit program at all; there every Wine
# step would fail, so say so once instead.
require_32bit_programs() {
  local error
  error=$(/usr/lib/wine/wine --version 2>&1 >/dev/null) && return 0
  echo "$(basename "$0"): this machine cannot run 32-bit programs, so Wine cannot run Korvel.dll" \
    "or its Windows tests (${error##*: })" >&2
  return 1
}

# A new prefix takes many seconds to start; create it once, before tests
# start Wine processes side by side.
warm_wineprefix() {
  local prefix
  require_32bit_programs
  prefix=$(realpath -m "$1")
  [ -f "$prefix/system.reg" ] && return 0
  WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >/dev/null 2>&1
  WINEPREFIX=$prefix wineserver -w
}

# A prefix's services start with its first Wine program and end a few
# seconds after its last, and they keep that first program's output open:
# ctest waits for them at the end of every test, and with tests side by
# side one test holds its slot until the last of them ends. Started once
# here, detached from every output, they serve the whole run.
start_wine_session() {
  local prefix
  prefix=$(realpath -m "$1")
  WINEPREFIX=$prefix wineserver -p </dev/null >/dev/null 2>&1
  WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" wine cmd /c exit </dev/null >/dev/null 2>&1
}

stop_wine_session() {
  WINEPREFIX=$(realpath -m "$1") wineserver -k || true
}
