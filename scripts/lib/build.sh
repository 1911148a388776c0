# Shared by the scripts: configure and build the configurations.
jobs=$(nproc)

build_native() {
  cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Debug >/dev/null
  cmake --build build/native -j"$jobs"
}

# The Windows configuration this machine runs: win32, or where the kernel
# runs no 32-bit program, win64, the 64-bit stand-in that runs the same code
# and tests under Wine's 64-bit loader.
windows_config() {
  if runs_32bit_programs; then echo win32; else echo win64; fi
}

# configure_windows DIR CONFIG [CMAKE_ARGS...]: CMake reads the toolchain
# file only when it first configures a build folder, and warns that it went
# unused when it is given again.
configure_windows() {
  local dir=$1 config=$2 toolchain=()
  shift 2
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    case $config in
      win32) toolchain=(-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake) ;;
      win64) toolchain=(-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake) ;;
    esac
  fi
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release "${toolchain[@]}" "$@" >/dev/null
}

# build_windows CONFIG: build/CONFIG, and its prefix ready for tests.
build_windows() {
  configure_windows "build/$1" "$1"
  cmake --build "build/$1" -j"$jobs"
  use_wine_of "build/$1"
  warm_wineprefix "build/$1/wineprefix"
}

build_win32() {
  build_windows win32
}

# What the release package holds, and nothing else: the module, the tool
# and the example settings file.
build_win32_package_files() {
  configure_windows build/win32 win32
  cmake --build build/win32 -j"$jobs" --target Korvel korvel-poll korvel_settings_example
}

# The fuzz targets of the platform-free code: libFuzzer needs clang.
build_fuzz() {
  cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVEL_FUZZ=ON \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
  cmake --build build/fuzz -j"$jobs"
}

# Korvel.dll is a 32-bit module, and Wine runs it in a 32-bit process. Some
# virtual machines' kernels run no 32-bit program at all.
runs_32bit_programs() {
  /usr/lib/wine/wine --version >/dev/null 2>&1
}

require_32bit_programs() {
  local error
  error=$(/usr/lib/wine/wine --version 2>&1 >/dev/null) && return 0
  echo "$(basename "$0"): this machine cannot run 32-bit programs, so Wine cannot run Korvel.dll" \
    "or its Windows tests (${error##*: })" >&2
  return 1
}

# use_wine_of DIR: Wine as the programs of build folder DIR need it. The
# 64-bit stand-in brings a `wine` of its own, which must come first on PATH;
# the 32-bit build needs a machine that runs 32-bit programs.
use_wine_of() {
  if [ -d "$1/wine-bin" ]; then
    PATH=$(realpath "$1/wine-bin"):$PATH
    export PATH
  else
    require_32bit_programs
  fi
}

# A new prefix takes many seconds to start; create it once, before tests
# start Wine processes side by side.
warm_wineprefix() {
  local prefix
  prefix=$(realpath -m "$1")
  [ -f "$prefix/system.reg" ] && return 0
  WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" wine wineboot -i >/dev/null 2>&1
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
