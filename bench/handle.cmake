# The directory handle's LDAP calls against a local slapd (see handle_bench.cpp); run it by
# hand: build/release/bin/handle_bench
dirclient_benchmark(handle_bench LIBS dirclient_lib dirclient_test_support)
target_compile_definitions(handle_bench PRIVATE LDAP_DEPRECATED=1)
