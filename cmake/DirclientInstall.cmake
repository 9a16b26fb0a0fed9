# Install layout: the library, its public headers under include/dirclient/ (applications
# write <dirclient/x.h>), a CMake package and a pkg-config file.
install(TARGETS ${DIRCLIENT_LIB_NAME} EXPORT dirclientTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
get_property(public_headers GLOBAL PROPERTY DIRCLIENT_PUBLIC_HEADERS)
install(FILES ${public_headers} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/dirclient)

# The package files find the installed tree relative to themselves, so the tree can be
# moved (or installed with --prefix); the library folder may be more than one level deep
# (lib/x86_64-linux-gnu under /usr).
include(CMakePackageConfigHelpers)
set(DIRCLIENT_CONFIG_DIR "${CMAKE_INSTALL_LIBDIR}/cmake/dirclient")
install(EXPORT dirclientTargets NAMESPACE dirclient:: DESTINATION "${DIRCLIENT_CONFIG_DIR}")
configure_package_config_file("${PROJECT_SOURCE_DIR}/cmake/dirclientConfig.cmake.in"
    "${CMAKE_BINARY_DIR}/dirclientConfig.cmake"
    INSTALL_DESTINATION "${DIRCLIENT_CONFIG_DIR}"
    PATH_VARS CMAKE_INSTALL_LIBDIR CMAKE_INSTALL_INCLUDEDIR)
write_basic_package_version_file("${CMAKE_BINARY_DIR}/dirclientConfigVersion.cmake"
                                 COMPATIBILITY SameMajorVersion)
install(FILES "${CMAKE_BINARY_DIR}/dirclientConfig.cmake"
              "${CMAKE_BINARY_DIR}/dirclientConfigVersion.cmake"
        DESTINATION "${DIRCLIENT_CONFIG_DIR}")

set(DIRCLIENT_PC_DIR "${CMAKE_INSTALL_LIBDIR}/pkgconfig")
if(IS_ABSOLUTE "${DIRCLIENT_PC_DIR}")
    set(DIRCLIENT_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
else()
    file(RELATIVE_PATH _pc_up "/prefix/${DIRCLIENT_PC_DIR}" "/prefix")
    string(REGEX REPLACE "/$" "" _pc_up "${_pc_up}")
    set(DIRCLIENT_PC_PREFIX "\${pcfiledir}/${_pc_up}")
endif()
foreach(_dir IN ITEMS LIBDIR INCLUDEDIR)
    if(IS_ABSOLUTE "${CMAKE_INSTALL_${_dir}}")
        set(DIRCLIENT_PC_${_dir} "${CMAKE_INSTALL_${_dir}}")
    else()
        set(DIRCLIENT_PC_${_dir} "\${prefix}/${CMAKE_INSTALL_${_dir}}")
    endif()
endforeach()
configure_file("${PROJECT_SOURCE_DIR}/cmake/dirclient.pc.in"
               "${CMAKE_BINARY_DIR}/dirclient.pc" @ONLY)
install(FILES "${CMAKE_BINARY_DIR}/dirclient.pc" DESTINATION "${DIRCLIENT_PC_DIR}")
