# Integration tests of the LDAP access layer against private slapd servers.
dirclient_unit_test(NAME ldapaccess_failover_itest
    SOURCES ldapaccess_failover_test.cpp
    LIBS dirclient_lib dirclient_test_support
    LABELS integration)
# Reaches into internal pieces: linked to the floors instead of the shared library.
dirclient_unit_test(NAME ldapaccess_cache_itest
    SOURCES ldapaccess_cache_test.cpp
    LIBS dirclient_handle dirclient_test_support
    LABELS integration)
# Reaches into internal pieces: linked to the floors instead of the shared library.
dirclient_unit_test(NAME ldapaccess_idle_itest
    SOURCES ldapaccess_idle_test.cpp
    LIBS dirclient_handle dirclient_test_support
    LABELS integration threads)
# Mostly waiting out a 30-second idle period: start it first so that the rest runs beside it.
set_tests_properties(ldapaccess_idle_itest PROPERTIES COST 1000)
# DNS tests run in private mount and network namespaces, where port 53 of the loopback is
# theirs and /etc/resolv.conf names it; the wrapper says so when that is not permitted.
dirclient_namespace_test(NAME ldapaccess_dns_itest SOURCES ldapaccess_dns_test.cpp LIBS dirclient_lib)
dirclient_unit_test(NAME ldapaccess_tls_itest
    SOURCES ldapaccess_tls_test.cpp
    LIBS dirclient_lib dirclient_test_support
    LABELS integration)
# The fake server answers from a thread of its own.
dirclient_unit_test(NAME ldapaccess_timeout_itest
    SOURCES ldapaccess_timeout_test.cpp
    LIBS dirclient_lib dirclient_test_support
    LABELS integration threads)
dirclient_unit_test(NAME ldapaccess_failback_itest
    SOURCES ldapaccess_failback_test.cpp
    LIBS dirclient_lib dirclient_test_support
    LABELS integration)
dirclient_unit_test(NAME replication_pair_itest
    SOURCES replication_pair_test.cpp
    LIBS dirclient_lib dirclient_test_support
    LABELS integration)
