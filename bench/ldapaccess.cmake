# LDAP access layer against a local slapd (see ldapaccess_bench.cpp); run it by hand:
#   build/release/bin/ldapaccess_bench
dirclient_benchmark(ldapaccess_bench LIBS dirclient_lib dirclient_test_support)
target_compile_definitions(ldapaccess_bench PRIVATE LDAP_DEPRECATED=1)
