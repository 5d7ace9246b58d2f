# Cross-compiling Velmora for 64-bit Windows with mingw-w64:
#
#   cmake -S . -B build-windows -G Ninja --toolchain cmake/mingw-w64.cmake
#   cmake --build build-windows
#
# gives build-windows/velmora.exe and build-windows/velmora-run.exe, linked statically: they need
# no DLL beyond Windows' own. The tests of the build run the programs under wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MINGW_PREFIX x86_64-w64-mingw32)
# The posix thread model of the compiler (the win32 one would do as well; Debian names both).
find_program(CMAKE_C_COMPILER NAMES ${MINGW_PREFIX}-gcc-posix ${MINGW_PREFIX}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${MINGW_PREFIX}-g++-posix ${MINGW_PREFIX}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No DLLs of the compiler's runtime: libgcc, libstdc++ and winpthread go into the executables.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# The tests run the Windows programs under wine where it is installed.
find_program(VELMORA_WINE NAMES wine64 wine)
if(VELMORA_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VELMORA_WINE})
endif()
