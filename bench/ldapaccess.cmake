# LDAP access layer against a local slapd (see ldapaccess_bench.cpp); run it by hand:
#   build/release/bin/ldapaccess_bench
# Measures internal pieces: linked to the floors, not the shared library.
dirclient_benchmark(ldapaccess_bench LIBS dirclient_handle dirclient_test_support)
target_compile_definitions(ldapaccess_bench PRIVATE LDAP_DEPRECATED=1)
