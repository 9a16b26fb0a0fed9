# `cmake --build <dir> --target bench_ldifmigrate`: the migration benchmark (not a test).
add_custom_target(bench_ldifmigrate
    COMMAND "${CMAKE_CURRENT_LIST_DIR}/ldifmigrate_bench.sh" "$<TARGET_FILE:ldifmigrate>"
    DEPENDS ldifmigrate
    USES_TERMINAL
    COMMENT "Timing ldifmigrate against cat and python-ldap")
