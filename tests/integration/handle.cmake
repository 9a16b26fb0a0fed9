# Integration tests of the directory handle against private slapd servers.
# Reaches into internal pieces: linked to the floors instead of the shared library.
dirclient_unit_test(NAME handle_itest
    SOURCES handle_test.cpp
    LIBS dirclient_handle dirclient_test_support
    LABELS integration)
# "DNS:" host strings, in private mount and network namespaces (see ldapaccess.cmake).
dirclient_namespace_test(NAME handle_dns_itest SOURCES handle_dns_test.cpp LIBS dirclient_lib)
# "DNS-SRV:" host strings, served by dnsmasq in the same kind of namespaces.
dirclient_namespace_test(NAME handle_srv_itest SOURCES handle_srv_test.cpp LIBS dirclient_lib)
