# PE32+ build for 64-bit Windows hosts with Debian's mingw-w64 cross
# compiler; test executables run under 64-bit Wine, which needs no 32-bit
# support from the kernel.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
# Debian's `wine` starts the 32-bit loader whenever wine32 is installed;
# the 64-bit loader is called directly.
find_program(LUMITRA_WINE wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(LUMITRA_WINE wine64)
if(LUMITRA_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${LUMITRA_WINE})
endif()
