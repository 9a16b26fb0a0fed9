# Host strings, server lists and DNS TXT answers.
dirclient_fuzz_target(NAME host_string_fuzz
                      SOURCES ${CMAKE_CURRENT_LIST_DIR}/host_string_fuzz.cpp LIBS dirclient_connection)
# SRV answers and their RFC 2782 ordering.
dirclient_fuzz_target(NAME dns_srv_fuzz
                      SOURCES ${CMAKE_CURRENT_LIST_DIR}/dns_srv_fuzz.cpp LIBS dirclient_ldapaccess)
