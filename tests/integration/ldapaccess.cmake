# Integration tests of the LDAP access layer against private slapd servers.
dirclient_unit_test(NAME ldapaccess_failover_itest
    SOURCES ldapaccess_failover_test.cpp
    LIBS dirclient_lib dirclient_test_support
    LABELS integration)
dirclient_unit_test(NAME ldapaccess_cache_itest
    SOURCES ldapaccess_cache_test.cpp
    LIBS dirclient_lib dirclient_test_support
    LABELS integration)
