# Cross-compiles for 64-bit Windows with MinGW-w64's posix-thread compilers. Used only to run the
# Windows tests under 64-bit Wine on a machine where 32-bit Wine cannot be installed; the real
# target stays i686.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(TEV_WIN32_DEPS "${CMAKE_CURRENT_LIST_DIR}/../../build/deps-win64" CACHE PATH
    "Cross-built libyaml and GoogleTest")
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 "${TEV_WIN32_DEPS}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../../scripts/internal/wine-run;--win64")
