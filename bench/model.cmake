# Object model benchmarks (Google Benchmark): build/release/bin/model_bench
find_package(benchmark REQUIRED)
add_executable(model_bench "${CMAKE_CURRENT_LIST_DIR}/model_bench.cpp")
dirclient_code_target(model_bench)
target_include_directories(model_bench PRIVATE ${DIRCLIENT_PUBLIC_INCLUDE_DIRS})
target_link_libraries(model_bench PRIVATE dirclient_lib benchmark::benchmark)
