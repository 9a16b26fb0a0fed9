# The modern C++ interface against a private slapd (the examples too).
dirclient_unit_test(NAME modern_api_itest
    SOURCES modern_api_test.cpp
    LIBS dirclient_lib dirclient_test_support
    LABELS integration threads)
add_dependencies(modern_api_itest example_bind example_search example_add example_modify
                 example_compare example_rename example_delete)
target_compile_definitions(modern_api_itest PRIVATE
    DIRCLIENT_EXAMPLES_DIR="$<TARGET_FILE_DIR:example_bind>")
