# The flat-file directory: filter parsing with evaluation, and loading arbitrary LDIF text
# (which must save and load back to the same tree).
dirclient_fuzz_target(NAME flatfile_filter_fuzz
                      SOURCES ${CMAKE_CURRENT_LIST_DIR}/flatfile_filter_fuzz.cpp LIBS dirclient_flatfile)
dirclient_fuzz_target(NAME flatfile_load_fuzz
                      SOURCES ${CMAKE_CURRENT_LIST_DIR}/flatfile_load_fuzz.cpp LIBS dirclient_flatfile)
