# Profiler overhead: a start/stop pair as the LDAP wrappers make it.
find_package(benchmark REQUIRED)
add_executable(profile_bench "${CMAKE_CURRENT_LIST_DIR}/profile_bench.cpp")
dirclient_code_target(profile_bench)
target_include_directories(profile_bench PRIVATE ${DIRCLIENT_PUBLIC_INCLUDE_DIRS})
target_link_libraries(profile_bench PRIVATE dirclient_lib benchmark::benchmark Threads::Threads)
