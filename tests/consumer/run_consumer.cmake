# Script of the install_consumer test (see CMakeLists.txt beside it).
set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${WORK_DIR})

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed: ${ARGN}\n${out}\n${err}")
  endif()
  set(last_output "${out}" PARENT_SCOPE)
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

set(configure ${CMAKE_COMMAND} -S ${PROJECT_DIR} -B ${WORK_DIR}/cmake-build -G ${GENERATOR}
    -DCMAKE_PREFIX_PATH=${prefix} -DLumitra_DIR=${prefix}/lib/cmake/Lumitra
    -DCMAKE_BUILD_TYPE=Release)
if(TOOLCHAIN)
  list(APPEND configure -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN})
endif()
run(${configure})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/cmake-build)

set(program ${WORK_DIR}/cmake-build/consumer)
if(WIN32_TARGET)
  # A Windows host finds the DLL beside its executable.
  file(COPY ${prefix}/bin/Lumitra.dll DESTINATION ${WORK_DIR}/cmake-build)
  set(program ${EMULATOR} ${program}.exe)
else()
  set(ENV{LD_LIBRARY_PATH} ${prefix}/lib)
  set(program ${EMULATOR} ${program})
endif()
run(${program})
if(NOT last_output MATCHES "512 entries 18159 .. 81429")
  message(FATAL_ERROR "unexpected consumer output: ${last_output}")
endif()

# pkg-config, as a plain Makefile user would link (native builds only).
if(NOT TOOLCHAIN)
  find_program(PKG_CONFIG pkg-config)
  if(PKG_CONFIG)
    set(ENV{PKG_CONFIG_PATH} ${prefix}/lib/pkgconfig)
    run(${PKG_CONFIG} --cflags --libs lumitra)
    separate_arguments(flags UNIX_COMMAND "${last_output}")
    run(cc ${PROJECT_DIR}/consumer.c -o ${WORK_DIR}/pc-consumer ${flags})
    run(${WORK_DIR}/pc-consumer)
    if(NOT last_output MATCHES "512 entries 18159 .. 81429")
      message(FATAL_ERROR "unexpected pkg-config consumer output: ${last_output}")
    endif()
  endif()
endif()
message(STATUS "consumer: ${last_output}")
