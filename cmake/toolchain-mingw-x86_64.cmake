# PE32+ build for 64-bit Windows hosts with Debian's mingw-w64 cross compiler
# (posix thread model; everything linked statically); test executables run
# under 64-bit Wine, which needs no 32-bit support from the kernel.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TOOLCHAIN_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TOOLCHAIN_PREFIX}-windres)
set(CMAKE_DLLTOOL ${TOOLCHAIN_PREFIX}-dlltool)
set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Debian's `wine` starts the 32-bit loader whenever wine32 is installed;
# the 64-bit loader is called directly.
find_program(LUMITRA_WINE wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(LUMITRA_WINE wine64)
if(LUMITRA_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${LUMITRA_WINE})
endif()
