# The flat-file directory against a local slapd (mdb) holding the same file (not a test):
#   cmake --build <dir> --target bench_flatfile
add_executable(flatfile_bench ${CMAKE_CURRENT_LIST_DIR}/flatfile_bench.cpp)
dirclient_code_target(flatfile_bench)
target_link_libraries(flatfile_bench PRIVATE dirclient_lib)
add_custom_target(bench_flatfile
    COMMAND "${CMAKE_CURRENT_LIST_DIR}/flatfile_bench.sh" "$<TARGET_FILE:flatfile_bench>"
    DEPENDS flatfile_bench
    USES_TERMINAL
    COMMENT "Timing the flat-file directory against slapd")
