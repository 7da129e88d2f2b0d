# Cross toolchain: Debian's mingw-w64 GCC 12, x86_64, posix thread model.
#
# The posix variant is required: GCC 12's win32 thread model provides no
# std::thread / std::mutex, which the tests (and GoogleTest's own threading
# tests) need. The module itself uses only Win32 primitives for locking; the
# winpthread runtime that the posix libstdc++ depends on is linked statically
# into every image (the top-level list file links with -static).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(_mingw_triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER   ${_mingw_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_mingw_triple}-g++-posix)
set(CMAKE_RC_COMPILER  ${_mingw_triple}-windres)
set(CMAKE_AR           /usr/bin/${_mingw_triple}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB       /usr/bin/${_mingw_triple}-gcc-ranlib-posix CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${_mingw_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Wine's 64-bit loader is not on PATH in Debian (package wine64 installs it
# under /usr/lib/wine). The top-level list file wraps it with a script that
# pins WINEPREFIX to the build tree; this is the bare fallback.
find_program(WINE64_EXECUTABLE NAMES wine64 wine
             PATHS /usr/lib/wine /usr/lib64/wine /opt/wine-stable/bin
             NO_CMAKE_FIND_ROOT_PATH)
if(WINE64_EXECUTABLE AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE64_EXECUTABLE})
endif()
