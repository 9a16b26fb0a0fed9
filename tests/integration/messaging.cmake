# The messaging stand-in over a private RabbitMQ broker, started once for the whole program.
dirclient_unit_test(NAME messaging_broker_itest
    SOURCES messaging_broker_test.cpp
    LIBS rqc dirclient_test_support
    LABELS integration)
target_compile_definitions(messaging_broker_itest PRIVATE REPLHOST_PATH="$<TARGET_FILE:replhost>")
add_dependencies(messaging_broker_itest replhost replbridge)
# Mostly waiting for the broker to start and restart: start it first.
set_tests_properties(messaging_broker_itest PROPERTIES COST 900)
