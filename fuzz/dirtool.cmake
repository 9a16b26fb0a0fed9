# dirtool_ldif_fuzz: dirtool's LDIF reader: arbitrary text is read or refused, and every
# entry read writes back and reads again the same.
# dirtool_command_line_fuzz: arbitrary arguments are read or refused with a usage error.
foreach(target dirtool_ldif_fuzz dirtool_command_line_fuzz)
    dirclient_fuzz_target(NAME ${target}
                          SOURCES ${CMAKE_CURRENT_LIST_DIR}/${target}.cpp
                          LIBS dirtool_text dirclient_lib)
    if(TARGET ${target})
        target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/tools/dirtool)
    endif()
endforeach()
