# Cross build for 64-bit Windows with Debian's mingw-w64 (g++ with posix
# threads, so std::thread and std::mutex work):
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TOV_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TOV_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOV_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TOV_MINGW_PREFIX}-windres)

# Libraries and headers come from the mingw sysroot (and from what the
# check script builds into its own prefix), programs from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${TOV_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The programs carry the compiler's runtime, so Wine (or a Windows machine)
# runs them without the mingw DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs are run through Wine when CMake or ctest start them.
find_program(TOV_WINE NAMES wine64 wine PATHS /usr/lib/wine)
if(TOV_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TOV_WINE})
endif()
