# The directory handle's LDAP calls against a local slapd (see handle_bench.cpp); run it by
# hand: build/release/bin/handle_bench
if(NOT TARGET benchmark::benchmark)
    find_package(benchmark REQUIRED)
endif()
add_executable(handle_bench "${CMAKE_CURRENT_LIST_DIR}/handle_bench.cpp")
dirclient_code_target(handle_bench)
target_include_directories(handle_bench PRIVATE ${DIRCLIENT_PUBLIC_INCLUDE_DIRS})
target_link_libraries(handle_bench PRIVATE dirclient_lib dirclient_test_support
                      benchmark::benchmark Threads::Threads)
target_compile_definitions(handle_bench PRIVATE LDAP_DEPRECATED=1)
