# The modern interface against the classic one and ldapsearch on one slapd (see
# modern_bench.cpp); run it by hand:  build/release/bin/modern_bench
add_executable(modern_bench "${CMAKE_CURRENT_LIST_DIR}/modern_bench.cpp")
dirclient_code_target(modern_bench)
target_include_directories(modern_bench PRIVATE ${DIRCLIENT_PUBLIC_INCLUDE_DIRS})
target_link_libraries(modern_bench PRIVATE dirclient_lib dirclient_test_support Threads::Threads)
