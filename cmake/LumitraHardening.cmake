# Hardening builds: the library, its tests and their helper libraries under
# sanitizers, and the libFuzzer targets.
#
#   LUMITRA_SANITIZE  comma-separated -fsanitize= list, for example
#                     "address,undefined" or "thread"; every report ends the
#                     program with a failure (no recovery).
#   LUMITRA_FUZZ      build fuzz/ (clang: libFuzzer), with the sanitizers
#                     of LUMITRA_SANITIZE.
#
# The flags apply to every target defined after this point (library
# objects, tests, stand-in siblings, GoogleTest itself), so that reports
# carry whole stacks and ThreadSanitizer sees every access. Timings under
# sanitizers mean nothing: the benchmarks are left out.
set(LUMITRA_SANITIZE "" CACHE STRING "Sanitizers for the library and tests, e.g. address,undefined or thread")
option(LUMITRA_FUZZ "Build the libFuzzer targets in fuzz/ (clang only)" OFF)

if(LUMITRA_FUZZ AND NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "LUMITRA_FUZZ needs clang (libFuzzer); use the sanitize, fuzz-asan or fuzz-opt preset")
endif()

if(LUMITRA_SANITIZE OR LUMITRA_FUZZ)
  if(LUMITRA_BUILD_BENCHMARKS)
    message(STATUS "Sanitizer or fuzzing build: benchmarks are not built")
    set(LUMITRA_BUILD_BENCHMARKS OFF CACHE BOOL "" FORCE)
  endif()
  add_compile_options(-g -fno-omit-frame-pointer)
  # The sanitizers intercept dlopen, so the loader takes the runtime for the
  # caller and ignores the program's RUNPATH ($ORIGIN) when a library loads
  # a sibling by name; an old-style RPATH applies to every caller.
  add_link_options(-Wl,--disable-new-dtags)
endif()

if(LUMITRA_SANITIZE)
  add_compile_options(-fsanitize=${LUMITRA_SANITIZE} -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${LUMITRA_SANITIZE})
endif()

# Run-time options of the sanitizers for every test (see tests/): leaks and
# stack use after return reported too, every report fatal with its stack.
set(LUMITRA_SANITIZER_ENV
  "ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1"
  "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1"
  "TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1")

option(LUMITRA_FUZZ_TRACE_COMPARES "Hand every comparison to the fuzzer (its guided mutations)" ON)
if(LUMITRA_FUZZ)
  # Coverage feedback everywhere; only the fuzz programs link the driver.
  add_compile_options(-fsanitize=fuzzer-no-link)
  add_link_options(-fsanitize=fuzzer-no-link)
  # Without the comparisons the fuzzer still sees every edge, and the loops
  # over full-size spectra run several times faster.
  if(NOT LUMITRA_FUZZ_TRACE_COMPARES)
    add_compile_options(-fno-sanitize-coverage=trace-cmp)
  endif()
endif()
