# dirtool's LDIF reader: arbitrary text is read or refused, and every entry read writes
# back and reads again the same.
dirclient_fuzz_target(NAME dirtool_ldif_fuzz
                      SOURCES ${CMAKE_CURRENT_LIST_DIR}/dirtool_ldif_fuzz.cpp
                      LIBS dirtool_text dirclient_lib)
if(TARGET dirtool_ldif_fuzz)
    target_include_directories(dirtool_ldif_fuzz PRIVATE ${PROJECT_SOURCE_DIR}/tools/dirtool)
endif()

# dirtool's command line: arbitrary arguments are read or refused with a usage error.
dirclient_fuzz_target(NAME dirtool_command_line_fuzz
                      SOURCES ${CMAKE_CURRENT_LIST_DIR}/dirtool_command_line_fuzz.cpp
                      LIBS dirtool_text dirclient_lib)
if(TARGET dirtool_command_line_fuzz)
    target_include_directories(dirtool_command_line_fuzz PRIVATE ${PROJECT_SOURCE_DIR}/tools/dirtool)
endif()
