# Profiler overhead: a start/stop pair as the LDAP wrappers make it.
# Measures internal pieces: linked to the floors, not the shared library.
dirclient_benchmark(profile_bench LIBS dirclient_base)
