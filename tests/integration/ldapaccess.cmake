# Integration tests of the LDAP access layer against private slapd servers.
dirclient_unit_test(NAME ldapaccess_failover_itest
    SOURCES ldapaccess_failover_test.cpp
    LIBS dirclient_lib dirclient_test_support
    LABELS integration)
dirclient_unit_test(NAME ldapaccess_cache_itest
    SOURCES ldapaccess_cache_test.cpp
    LIBS dirclient_lib dirclient_test_support
    LABELS integration)
dirclient_unit_test(NAME ldapaccess_idle_itest
    SOURCES ldapaccess_idle_test.cpp
    LIBS dirclient_lib dirclient_test_support
    LABELS integration threads)
# Mostly waiting out a 30-second idle period: start it first so that the rest runs beside it.
set_tests_properties(ldapaccess_idle_itest PROPERTIES COST 1000)
# DNS tests run in private mount and network namespaces, where port 53 of the loopback is
# theirs and /etc/resolv.conf names it; the wrapper says so when that is not permitted.
add_executable(ldapaccess_dns_itest ldapaccess_dns_test.cpp)
dirclient_code_target(ldapaccess_dns_itest)
set_target_properties(ldapaccess_dns_itest PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY "${DIRCLIENT_TEST_BIN_DIR}")
target_include_directories(ldapaccess_dns_itest PRIVATE ${DIRCLIENT_PUBLIC_INCLUDE_DIRS})
target_link_libraries(ldapaccess_dns_itest PRIVATE dirclient_lib dirclient_test_support
                      GTest::gtest GTest::gtest_main Threads::Threads)
add_test(NAME ldapaccess_dns_itest
         COMMAND "${PROJECT_SOURCE_DIR}/tests/support/run_in_private_namespace.sh"
                 $<TARGET_FILE:ldapaccess_dns_itest>)
set_tests_properties(ldapaccess_dns_itest PROPERTIES
    LABELS "unit;integration" RESOURCE_LOCK dns_port_53)
