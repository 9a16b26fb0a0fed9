# Install layout: the library, its public headers, a CMake package and a pkg-config file.
install(TARGETS ${DIRCLIENT_LIB_NAME} LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
get_property(public_headers GLOBAL PROPERTY DIRCLIENT_PUBLIC_HEADERS)
install(FILES ${public_headers} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/dirclient)

configure_file("${PROJECT_SOURCE_DIR}/cmake/dirclientConfig.cmake.in"
               "${CMAKE_BINARY_DIR}/dirclientConfig.cmake" @ONLY)
include(CMakePackageConfigHelpers)
write_basic_package_version_file("${CMAKE_BINARY_DIR}/dirclientConfigVersion.cmake"
                                 COMPATIBILITY SameMajorVersion)
install(FILES "${CMAKE_BINARY_DIR}/dirclientConfig.cmake"
              "${CMAKE_BINARY_DIR}/dirclientConfigVersion.cmake"
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/dirclient)

configure_file("${PROJECT_SOURCE_DIR}/cmake/dirclient.pc.in"
               "${CMAKE_BINARY_DIR}/dirclient.pc" @ONLY)
install(FILES "${CMAKE_BINARY_DIR}/dirclient.pc" DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
