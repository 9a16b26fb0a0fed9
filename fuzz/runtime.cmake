# The LDIF line codec and both base64 decoders, fed arbitrary bytes.
dirclient_fuzz_target(NAME ldif_codec_fuzz SOURCES ${CMAKE_CURRENT_LIST_DIR}/ldif_codec_fuzz.cpp
                      LIBS dirclient_runtime)
dirclient_fuzz_target(NAME ldif_base64_fuzz SOURCES ${CMAKE_CURRENT_LIST_DIR}/ldif_base64_fuzz.cpp
                      LIBS dirclient_runtime)
dirclient_fuzz_target(NAME b64value_fuzz SOURCES ${CMAKE_CURRENT_LIST_DIR}/b64value_fuzz.cpp
                      ${PROJECT_SOURCE_DIR}/plugins/b64value/b64value.cpp)
if(TARGET b64value_fuzz)
    target_include_directories(b64value_fuzz PRIVATE ${PROJECT_SOURCE_DIR}/plugins/b64value)
endif()
