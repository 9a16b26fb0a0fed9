# LDAP access layer against a local slapd (see ldapaccess_bench.cpp); run it by hand:
#   build/release/bin/ldapaccess_bench
if(NOT TARGET benchmark::benchmark)
    find_package(benchmark REQUIRED)
endif()
add_executable(ldapaccess_bench "${CMAKE_CURRENT_LIST_DIR}/ldapaccess_bench.cpp")
dirclient_code_target(ldapaccess_bench)
target_include_directories(ldapaccess_bench PRIVATE ${DIRCLIENT_PUBLIC_INCLUDE_DIRS})
target_link_libraries(ldapaccess_bench PRIVATE dirclient_lib dirclient_test_support
                      benchmark::benchmark Threads::Threads)
target_compile_definitions(ldapaccess_bench PRIVATE LDAP_DEPRECATED=1)
