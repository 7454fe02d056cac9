# What a C or C++ user expects from `cmake --install`: the header, the
# library (and on Windows its import library and .def), a CMake package
# giving Lumitra::lumitra, and a pkg-config file.
include(CMakePackageConfigHelpers)

install(TARGETS lumitra EXPORT LumitraTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY include/lumitra ${LUMITRA_GENERATED_INCLUDE_DIR}/lumitra
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
if(WIN32)
  install(FILES ${LUMITRA_DEF_FILE} DESTINATION ${CMAKE_INSTALL_LIBDIR})
endif()

install(EXPORT LumitraTargets NAMESPACE Lumitra:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Lumitra)
configure_package_config_file(cmake/LumitraConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/LumitraConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Lumitra)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/LumitraConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/LumitraConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/LumitraConfigVersion.cmake
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Lumitra)

if(WIN32)
  set(LUMITRA_PC_LIBS "-llumitra -lole32")
else()
  set(LUMITRA_PC_LIBS "-llumitra")
endif()
configure_file(cmake/lumitra.pc.in ${CMAKE_CURRENT_BINARY_DIR}/lumitra.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/lumitra.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
