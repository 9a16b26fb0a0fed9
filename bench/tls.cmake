# TLS sessions against a local slapd (see tls_bench.cpp); run it by hand:
#   build/release/bin/tls_bench
dirclient_benchmark(tls_bench LIBS dirclient_lib dirclient_test_support)
