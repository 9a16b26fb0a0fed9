# DConnection against a local slapd, OpenLDAP's C API, python-ldap and a flat file (see
# connection_bench.cpp); run it by hand:  build/release/bin/connection_bench
add_executable(connection_bench "${CMAKE_CURRENT_LIST_DIR}/connection_bench.cpp")
dirclient_code_target(connection_bench)
target_include_directories(connection_bench PRIVATE ${DIRCLIENT_PUBLIC_INCLUDE_DIRS})
target_link_libraries(connection_bench PRIVATE dirclient_lib dirclient_test_support
                      Threads::Threads)
target_compile_definitions(connection_bench PRIVATE
    DIRCLIENT_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
