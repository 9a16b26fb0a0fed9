# The flat file's LDAP matching against its default matcher (see matching_bench.cpp); run
# it by hand: build/release/bin/matching_bench
dirclient_benchmark(matching_bench LIBS dirclient_lib)
