# Object model fuzz targets.
dirclient_fuzz_target(NAME dn_normalize_fuzz
    SOURCES "${CMAKE_CURRENT_LIST_DIR}/dn_normalize_fuzz.cpp"
    LIBS dirclient_model)
