# Build conventions shared by every folder: floors, warnings, sanitizers, test and fuzz targets.

# Include path of the code above the library (programs, integration tests, benchmarks, fuzz
# targets): <dirclient/x.h> for the public headers, as applications write it, and the source
# folders for the test helpers that live beside the code (which link the floors, not the
# shared library, when they reach internal pieces).
set(DIRCLIENT_PUBLIC_INCLUDE_DIRS
    "${CMAKE_BINARY_DIR}/include"
    "${PROJECT_SOURCE_DIR}"
    "${PROJECT_SOURCE_DIR}/runtime"
    "${PROJECT_SOURCE_DIR}/dirclient/base"
    "${PROJECT_SOURCE_DIR}/dirclient/model"
    "${PROJECT_SOURCE_DIR}/dirclient/connection"
    "${PROJECT_SOURCE_DIR}/dirclient/flatfile"
    "${PROJECT_SOURCE_DIR}/dirclient/handle"
    "${PROJECT_SOURCE_DIR}/dirclient/ldapaccess"
    "${PROJECT_SOURCE_DIR}/dirclient/profile"
    "${PROJECT_SOURCE_DIR}/dirclient/schema")

find_program(CCACHE_PROGRAM ccache)
if(CCACHE_PROGRAM)
    set(CMAKE_C_COMPILER_LAUNCHER "${CCACHE_PROGRAM}")
    set(CMAKE_CXX_COMPILER_LAUNCHER "${CCACHE_PROGRAM}")
endif()

if(DIRCLIENT_SANITIZE)
    add_compile_options(-fsanitize=${DIRCLIENT_SANITIZE} -fno-omit-frame-pointer
                        -fno-sanitize-recover=all)
    string(REPLACE "fuzzer-no-link" "" _link_sanitizers "${DIRCLIENT_SANITIZE}")
    string(REGEX REPLACE ",+" "," _link_sanitizers "${_link_sanitizers}")
    string(REGEX REPLACE "^,|,$" "" _link_sanitizers "${_link_sanitizers}")
    if(_link_sanitizers)
        add_link_options(-fsanitize=${_link_sanitizers})
    endif()
endif()

# Warnings for the product's own code (not for third-party code such as GoogleTest).
function(dirclient_code_target target)
    target_compile_options(${target} PRIVATE -Wall -Wextra)
    if(DIRCLIENT_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()

# dirclient_floor(<name> [ON <floors below...>] [LIBS <other libraries...>])
# The floor of the current folder: the static library dirclient_<name>, linked PUBLIC to
# the floors it stands on. Its folder is on its own include path and on that of the floors
# above, never below. Its objects also make the shared library (each source compiled once),
# so they are position-independent and export only what carries DIRCLIENT_API.
function(dirclient_floor name)
    cmake_parse_arguments(F "" "" "ON;LIBS" ${ARGN})
    set(target dirclient_${name})
    add_library(${target} STATIC)
    dirclient_code_target(${target})
    target_include_directories(${target} PUBLIC "${CMAKE_CURRENT_SOURCE_DIR}")
    list(TRANSFORM F_ON PREPEND dirclient_)
    target_link_libraries(${target} PUBLIC ${F_ON} ${F_LIBS})
    target_compile_definitions(${target} PRIVATE LDAP_DEPRECATED=1)
    set_target_properties(${target} PROPERTIES
        POSITION_INDEPENDENT_CODE ON
        C_VISIBILITY_PRESET hidden CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
    set_property(GLOBAL APPEND PROPERTY DIRCLIENT_FLOORS ${target})
endfunction()

# Public headers to install under include/dirclient/.
function(dirclient_public_headers)
    foreach(h IN LISTS ARGN)
        get_filename_component(abs "${h}" ABSOLUTE)
        set_property(GLOBAL APPEND PROPERTY DIRCLIENT_PUBLIC_HEADERS "${abs}")
    endforeach()
endfunction()

set(DIRCLIENT_TEST_BIN_DIR "${CMAKE_BINARY_DIR}/tests-bin")

# dirclient_unit_test(NAME <n> SOURCES <files...> [LIBS <targets...>] [LABELS <labels...>])
# One GoogleTest executable registered as one CTest test. Label "threads" puts it into the
# ThreadSanitizer run; label "noasan" keeps it out of the AddressSanitizer run.
function(dirclient_unit_test)
    cmake_parse_arguments(T "NO_PUBLIC_INCLUDES" "NAME" "SOURCES;LIBS;LABELS;ENVIRONMENT" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    dirclient_code_target(${T_NAME})
    set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${DIRCLIENT_TEST_BIN_DIR}")
    if(T_NO_PUBLIC_INCLUDES)
        # The test harnesses only (tests/support/...).
        target_include_directories(${T_NAME} PRIVATE "${PROJECT_SOURCE_DIR}")
    else()
        target_include_directories(${T_NAME} PRIVATE ${DIRCLIENT_PUBLIC_INCLUDE_DIRS})
    endif()
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main
                                            Threads::Threads)
    target_compile_definitions(${T_NAME} PRIVATE
        DIRCLIENT_SOURCE_DIR="${PROJECT_SOURCE_DIR}" DIRCLIENT_BINARY_DIR="${CMAKE_BINARY_DIR}")
    add_test(NAME ${T_NAME} COMMAND ${T_NAME})
    set_tests_properties(${T_NAME} PROPERTIES LABELS "unit;${T_LABELS}")
    if(T_ENVIRONMENT)
        set_tests_properties(${T_NAME} PROPERTIES ENVIRONMENT "${T_ENVIRONMENT}")
    endif()
    if("threads" IN_LIST T_LABELS)
        set_property(GLOBAL APPEND PROPERTY DIRCLIENT_THREAD_TESTS ${T_NAME})
    endif()
endfunction()

# dirclient_floor_test(NAME <n> FLOOR <floor> SOURCES <files...> [LIBS ...] [LABELS ...])
# A unit test beside the code of a floor: linked against that floor's static library (and
# so the floors below it), seeing no header above it. The main build also runs the second
# (clang++) build's copy of every such test.
function(dirclient_floor_test)
    cmake_parse_arguments(T "" "NAME;FLOOR" "SOURCES;LIBS;LABELS;ENVIRONMENT" ${ARGN})
    dirclient_unit_test(NAME ${T_NAME} SOURCES ${T_SOURCES} LIBS dirclient_${T_FLOOR} ${T_LIBS}
                        LABELS ${T_LABELS} ENVIRONMENT ${T_ENVIRONMENT} NO_PUBLIC_INCLUDES)
    set_property(GLOBAL APPEND PROPERTY DIRCLIENT_LIB_TESTS ${T_NAME})
    set_property(GLOBAL PROPERTY DIRCLIENT_LIB_TEST_LABELS_${T_NAME} "unit;${T_LABELS}")
    if(T_ENVIRONMENT)
        set_property(GLOBAL PROPERTY DIRCLIENT_LIB_TEST_ENV_${T_NAME} "${T_ENVIRONMENT}")
    endif()
endfunction()

# dirclient_library_test(NAME <n> SOURCES <files...> [LIBS ...] [LABELS ...])
# A test of the shared library itself (libdirclient, or libdirclient_g in the second build),
# as programs load it; the main build also runs the second build's copy.
function(dirclient_library_test)
    cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;LABELS" ${ARGN})
    dirclient_unit_test(NAME ${T_NAME} SOURCES ${T_SOURCES} LIBS dirclient_lib ${T_LIBS}
                        LABELS ${T_LABELS})
    set_property(GLOBAL APPEND PROPERTY DIRCLIENT_LIB_TESTS ${T_NAME})
    set_property(GLOBAL PROPERTY DIRCLIENT_LIB_TEST_LABELS_${T_NAME} "unit;${T_LABELS}")
endfunction()

# dirclient_fuzz_target(NAME <n> SOURCES <files...> [LIBS <targets...>] [SECONDS <s>])
# A libFuzzer target; test.sh runs each for a few seconds (label "fuzz").
function(dirclient_fuzz_target)
    if(NOT DIRCLIENT_FUZZ)
        return()
    endif()
    cmake_parse_arguments(F "" "NAME;SECONDS" "SOURCES;LIBS" ${ARGN})
    if(NOT F_SECONDS)
        set(F_SECONDS 8)
    endif()
    add_executable(${F_NAME} ${F_SOURCES})
    dirclient_code_target(${F_NAME})
    target_include_directories(${F_NAME} PRIVATE ${DIRCLIENT_PUBLIC_INCLUDE_DIRS})
    target_link_libraries(${F_NAME} PRIVATE ${F_LIBS})
    target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
    set(corpus "${CMAKE_BINARY_DIR}/fuzz-corpus/${F_NAME}")
    set(seeds "${PROJECT_SOURCE_DIR}/fuzz/corpus/${F_NAME}")
    add_test(NAME ${F_NAME}
             COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=1
                     $<TARGET_FILE:${F_NAME}> -max_total_time=${F_SECONDS} -timeout=10
                     -rss_limit_mb=2048 -print_final_stats=1 "${corpus}" "${seeds}")
    set_tests_properties(${F_NAME} PROPERTIES LABELS fuzz)
    file(MAKE_DIRECTORY "${corpus}")
    if(NOT EXISTS "${seeds}")
        file(MAKE_DIRECTORY "${seeds}")
    endif()
    set_property(GLOBAL APPEND PROPERTY DIRCLIENT_FUZZ_TARGETS ${F_NAME})
endfunction()

# Aggregate targets so that the sanitizer and fuzz runs build only what they run.
function(dirclient_finish_aggregates)
    get_property(thread_tests GLOBAL PROPERTY DIRCLIENT_THREAD_TESTS)
    add_custom_target(threads_tests)
    if(thread_tests)
        add_dependencies(threads_tests ${thread_tests})
    endif()
    get_property(fuzz_targets GLOBAL PROPERTY DIRCLIENT_FUZZ_TARGETS)
    add_custom_target(fuzz_targets)
    if(fuzz_targets)
        add_dependencies(fuzz_targets ${fuzz_targets})
    endif()
endfunction()

# dirclient_namespace_test(NAME <n> SOURCES <files...> [LIBS <targets...>])
# A GoogleTest executable run inside private mount and network namespaces, where port 53 of
# the loopback and /etc/resolv.conf are its own (the DNS tests); one such test at a time.
function(dirclient_namespace_test)
    cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    dirclient_code_target(${T_NAME})
    set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${DIRCLIENT_TEST_BIN_DIR}")
    target_include_directories(${T_NAME} PRIVATE ${DIRCLIENT_PUBLIC_INCLUDE_DIRS})
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} dirclient_test_support GTest::gtest
                                            GTest::gtest_main Threads::Threads)
    add_test(NAME ${T_NAME}
             COMMAND "${PROJECT_SOURCE_DIR}/tests/support/run_in_private_namespace.sh"
                     $<TARGET_FILE:${T_NAME}>)
    set_tests_properties(${T_NAME} PROPERTIES
        LABELS "unit;integration" RESOURCE_LOCK dns_port_53)
endfunction()

# dirclient_benchmark(<name> [LIBS <targets...>]): the Google Benchmark program
# bench/<name>.cpp, built with the release build and run by hand (never a test).
function(dirclient_benchmark name)
    cmake_parse_arguments(B "" "" "LIBS" ${ARGN})
    if(NOT TARGET benchmark::benchmark)
        find_package(benchmark REQUIRED)
    endif()
    add_executable(${name} "${PROJECT_SOURCE_DIR}/bench/${name}.cpp")
    dirclient_code_target(${name})
    target_include_directories(${name} PRIVATE ${DIRCLIENT_PUBLIC_INCLUDE_DIRS})
    target_link_libraries(${name} PRIVATE ${B_LIBS} benchmark::benchmark Threads::Threads)
endfunction()
