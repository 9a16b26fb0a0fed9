# Integration tests of the directory handle against private slapd servers.
dirclient_unit_test(NAME handle_itest
    SOURCES handle_test.cpp
    LIBS dirclient_lib dirclient_test_support
    LABELS integration)
# "DNS:" host strings, in private mount and network namespaces (see ldapaccess.cmake).
add_executable(handle_dns_itest handle_dns_test.cpp)
dirclient_code_target(handle_dns_itest)
set_target_properties(handle_dns_itest PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY "${DIRCLIENT_TEST_BIN_DIR}")
target_include_directories(handle_dns_itest PRIVATE ${DIRCLIENT_PUBLIC_INCLUDE_DIRS})
target_link_libraries(handle_dns_itest PRIVATE dirclient_lib dirclient_test_support
                      GTest::gtest GTest::gtest_main Threads::Threads)
add_test(NAME handle_dns_itest
         COMMAND "${PROJECT_SOURCE_DIR}/tests/support/run_in_private_namespace.sh"
                 $<TARGET_FILE:handle_dns_itest>)
set_tests_properties(handle_dns_itest PROPERTIES
    LABELS "unit;integration" RESOURCE_LOCK dns_port_53)
