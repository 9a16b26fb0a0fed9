# Renders the manual page PAGE with GROFF, all warnings on; any warning fails the check.
execute_process(
    COMMAND ${GROFF} -ww -man -Tutf8 -z ${PAGE}
    RESULT_VARIABLE status
    ERROR_VARIABLE warnings)
if(NOT status EQUAL 0 OR NOT warnings STREQUAL "")
    message(FATAL_ERROR "${PAGE} does not render cleanly (status ${status}):\n${warnings}")
endif()
