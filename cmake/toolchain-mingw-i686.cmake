# PE32 build with Debian's mingw-w64 cross compiler. Test executables run
# under 32-bit Wine where the kernel executes i386 code; elsewhere the DLL is
# only checked statically (LUMITRA_WINE_TESTS).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TOOLCHAIN_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
find_program(LUMITRA_WINE wine)
if(LUMITRA_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${LUMITRA_WINE})
endif()
