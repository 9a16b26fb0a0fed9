# The replication bridge against direct use of the messaging library it wraps.
if(NOT TARGET benchmark::benchmark)
    find_package(benchmark REQUIRED)
endif()
add_executable(replbridge_bench "${CMAKE_CURRENT_LIST_DIR}/replbridge_bench.cpp")
dirclient_code_target(replbridge_bench)
target_include_directories(replbridge_bench PRIVATE "${PROJECT_SOURCE_DIR}/plugins/replbridge")
target_link_libraries(replbridge_bench PRIVATE rqc benchmark::benchmark ${CMAKE_DL_LIBS})
target_compile_definitions(replbridge_bench PRIVATE REPLBRIDGE_PATH="$<TARGET_FILE:replbridge>")
add_dependencies(replbridge_bench replbridge)

# The bridge over a private RabbitMQ broker, against rabbitmq-c itself and the spool folder.
if(NOT TARGET rabbitmq::rabbitmq)
    find_package(rabbitmq-c CONFIG REQUIRED)
endif()
add_executable(replbridge_broker_bench "${CMAKE_CURRENT_LIST_DIR}/replbridge_broker_bench.cpp")
dirclient_code_target(replbridge_broker_bench)
target_include_directories(replbridge_broker_bench PRIVATE "${PROJECT_SOURCE_DIR}/plugins/replbridge")
target_link_libraries(replbridge_broker_bench PRIVATE
    dirclient_test_support rabbitmq::rabbitmq benchmark::benchmark ${CMAKE_DL_LIBS})
target_compile_definitions(replbridge_broker_bench PRIVATE REPLBRIDGE_PATH="$<TARGET_FILE:replbridge>")
add_dependencies(replbridge_broker_bench replbridge)
