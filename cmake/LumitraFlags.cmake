# Compiler settings shared by the library, its tests and benchmarks.
#
# Results must agree bit for bit between the three builds, so floating-point
# expressions are evaluated exactly as written: no contraction into fused
# multiply-adds, no fast-math reassociation, and SSE2 doubles (never x87
# extended precision) on 32-bit x86.
add_library(lumitra_flags INTERFACE)
target_compile_options(lumitra_flags INTERFACE
  -ffp-contract=off -fno-fast-math
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion)
if(LUMITRA_WARNINGS_AS_ERRORS)
  target_compile_options(lumitra_flags INTERFACE -Werror)
endif()
if(CMAKE_SYSTEM_PROCESSOR MATCHES "i[3-6]86")
  # Hosts built with other compilers guarantee only 4-byte stack alignment.
  target_compile_options(lumitra_flags INTERFACE -msse2 -mfpmath=sse -mstackrealign)
endif()
if(WIN32)
  target_compile_definitions(lumitra_flags INTERFACE WIN32_LEAN_AND_MEAN NOMINMAX)
endif()
