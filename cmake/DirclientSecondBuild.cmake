# libdirclient_g: the same sources built a second time with the machine's other compiler.
# The main build drives it as a separate CMake build, installs its library next to the
# first one and runs its copy of every library test.
if(NOT DIRCLIENT_BUILD_G)
    return()
endif()
find_program(DIRCLIENT_G_CXX NAMES clang++ clang++-14)
find_program(DIRCLIENT_G_CC NAMES clang clang-14)
if(NOT DIRCLIENT_G_CXX OR NOT DIRCLIENT_G_CC)
    message(FATAL_ERROR "libdirclient_g needs clang++ (or set DIRCLIENT_BUILD_G=OFF)")
endif()

include(ExternalProject)
set(DIRCLIENT_G_BINARY_DIR "${CMAKE_BINARY_DIR}/dirclient_g")
ExternalProject_Add(dirclient_g_build
    SOURCE_DIR "${PROJECT_SOURCE_DIR}"
    BINARY_DIR "${DIRCLIENT_G_BINARY_DIR}"
    CMAKE_ARGS
        -DCMAKE_CXX_COMPILER=${DIRCLIENT_G_CXX}
        -DCMAKE_C_COMPILER=${DIRCLIENT_G_CC}
        -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
        -DDIRCLIENT_LIB_NAME=dirclient_g
        -DDIRCLIENT_LIB_ONLY=ON
        -DDIRCLIENT_WERROR=${DIRCLIENT_WERROR}
        -DDIRCLIENT_SANITIZE=${DIRCLIENT_SANITIZE}
    BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> -j 2
    BUILD_ALWAYS ON
    INSTALL_COMMAND ""
    TEST_COMMAND "")

get_property(lib_tests GLOBAL PROPERTY DIRCLIENT_LIB_TESTS)
foreach(t IN LISTS lib_tests)
    add_test(NAME g.${t} COMMAND "${DIRCLIENT_G_BINARY_DIR}/tests-bin/${t}")
    get_property(env GLOBAL PROPERTY DIRCLIENT_LIB_TEST_ENV_${t})
    get_property(labels GLOBAL PROPERTY DIRCLIENT_LIB_TEST_LABELS_${t})
    set_tests_properties(g.${t} PROPERTIES LABELS "${labels};g")
    if(env)
        set_tests_properties(g.${t} PROPERTIES ENVIRONMENT "${env}")
    endif()
endforeach()

install(DIRECTORY "${DIRCLIENT_G_BINARY_DIR}/lib/" DESTINATION ${CMAKE_INSTALL_LIBDIR}
        FILES_MATCHING PATTERN "libdirclient_g.so*")
