# TLS sessions against a local slapd (see tls_bench.cpp); run it by hand:
#   build/release/bin/tls_bench
# Measures internal pieces: linked to the floors, not the shared library.
dirclient_benchmark(tls_bench LIBS dirclient_handle dirclient_test_support)
