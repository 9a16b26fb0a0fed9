# The LDAP matching mode: schema files and RFC 4515 filters with their evaluation.
dirclient_fuzz_target(NAME schema_parser_fuzz
                      SOURCES ${CMAKE_CURRENT_LIST_DIR}/schema_parser_fuzz.cpp LIBS dirclient_schema)
dirclient_fuzz_target(NAME ldap_filter_fuzz
                      SOURCES ${CMAKE_CURRENT_LIST_DIR}/ldap_filter_fuzz.cpp LIBS dirclient_schema)
