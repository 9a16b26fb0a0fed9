# Profiler overhead: a start/stop pair as the LDAP wrappers make it.
dirclient_benchmark(profile_bench LIBS dirclient_lib)
