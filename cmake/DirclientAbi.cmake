# The exported interface of the shared libraries, kept in abi/<library>.symbols (sorted
# mangled names of `nm -D --defined-only`). The test abi_<library> fails and prints the
# difference when a build exports anything else; `cmake --build <dir> --target abi_update`
# rewrites the lists, making a change of the interface a visible decision in the history.
set(_abi_script "${PROJECT_SOURCE_DIR}/cmake/abi_symbols.cmake")
add_custom_target(abi_update)
# The lists describe the optimised build that is shipped: an unoptimised or sanitized build
# also exports the library templates it did not inline, so it is not compared.
set(_abi_comparable OFF)
if(NOT DIRCLIENT_SANITIZE AND CMAKE_BUILD_TYPE MATCHES "^(Release|RelWithDebInfo|MinSizeRel)$")
    set(_abi_comparable ON)
endif()
function(dirclient_abi_check name library)
    set(list_file "${PROJECT_SOURCE_DIR}/abi/lib${name}.symbols")
    if(NOT _abi_comparable)
        return()
    endif()
    add_test(NAME abi_${name}
             COMMAND ${CMAKE_COMMAND} -DLIBRARY=${library} -DLIST=${list_file} -DMODE=check
                     -P ${_abi_script})
    set_tests_properties(abi_${name} PROPERTIES LABELS "unit;abi")
    add_custom_command(TARGET abi_update POST_BUILD
        COMMAND ${CMAKE_COMMAND} -DLIBRARY=${library} -DLIST=${list_file} -DMODE=update
                -P ${_abi_script}
        VERBATIM)
endfunction()

dirclient_abi_check(${DIRCLIENT_LIB_NAME} "$<TARGET_FILE:${DIRCLIENT_LIB_NAME}>")
add_dependencies(abi_update ${DIRCLIENT_LIB_NAME})
if(DIRCLIENT_BUILD_G)
    dirclient_abi_check(dirclient_g "${DIRCLIENT_G_BINARY_DIR}/lib/libdirclient_g.so")
    add_dependencies(abi_update dirclient_g_build)
endif()
