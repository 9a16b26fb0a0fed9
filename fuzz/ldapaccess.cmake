# Host strings, server lists and DNS TXT answers.
dirclient_fuzz_target(NAME host_string_fuzz
                      SOURCES ${CMAKE_CURRENT_LIST_DIR}/host_string_fuzz.cpp LIBS dirclient_lib)
