# Integration tests of DConnection against private slapd servers and flat files.
dirclient_unit_test(NAME connection_itest
    SOURCES connection_sync_test.cpp
    LIBS dirclient_lib dirclient_test_support
    LABELS integration)
dirclient_unit_test(NAME connection_async_itest
    SOURCES connection_async_test.cpp
    LIBS dirclient_lib dirclient_test_support
    LABELS integration)
dirclient_unit_test(NAME connection_threads_itest
    SOURCES connection_threads_test.cpp
    LIBS dirclient_lib dirclient_test_support
    LABELS integration threads)
dirclient_unit_test(NAME connection_server_itest
    SOURCES connection_server_words_test.cpp connection_large_results_test.cpp
    LIBS dirclient_lib dirclient_test_support
    LABELS integration)
