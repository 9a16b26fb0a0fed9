# The flat file's LDAP matching mode against a private slapd holding the same data.
dirclient_unit_test(NAME matching_differential_itest
    SOURCES matching_differential_test.cpp
    LIBS dirclient_lib dirclient_test_support
    LABELS integration)
