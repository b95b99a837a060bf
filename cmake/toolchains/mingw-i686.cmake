# Cross-compiles for 32-bit Windows with MinGW-w64's posix-thread compilers, whose runtime
# provides std::mutex and std::thread. Executables run under Wine through the emulator.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(TEV_WIN32_DEPS "${CMAKE_CURRENT_LIST_DIR}/../../build/deps-win32" CACHE PATH
    "Cross-built libyaml and GoogleTest")
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32 "${TEV_WIN32_DEPS}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../../scripts/internal/wine-run")
