# Running the cross-built test programs under Wine: headless, without dialogs, with a Wine prefix
# inside the build folder, and one Wine session that all test programs share.
set(TRIM_WINE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(TRIM_WINE_ENVIRONMENT
    WINEPREFIX=${TRIM_WINE_PREFIX}
    WINEDEBUG=-all,err+module
    # No Mono or Gecko prompts, and no menu entries written to $HOME.
    WINEDLLOVERRIDES=mscoree,mshtml,winemenubuilder.exe=
    DISPLAY=)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    # A 32-bit prefix is quicker to create and smaller; 32-bit test programs need no more.
    list(APPEND TRIM_WINE_ENVIRONMENT WINEARCH=win32)
endif()

# Without a running server each program waits seconds for Wine's background processes to let go.
add_test(NAME wine_session_start COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/wine-session.sh start)
add_test(NAME wine_session_stop COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/wine-session.sh stop)
# Creating the prefix on the first run takes a while: 6 to 15 s here, more on a busy machine.
set_tests_properties(wine_session_start PROPERTIES FIXTURES_SETUP wine ENVIRONMENT "${TRIM_WINE_ENVIRONMENT}"
                                                   TIMEOUT 600)
set_tests_properties(wine_session_stop PROPERTIES FIXTURES_CLEANUP wine ENVIRONMENT "${TRIM_WINE_ENVIRONMENT}")

# The given tests run their Windows program inside the shared Wine session. A case that skips
# itself shows as skipped, as on Linux; so does a case found in the source that the program does
# not contain (compiled out for Windows), instead of passing with nothing run. A case that hangs
# fails after two minutes (cases take well under a second) instead of stopping the whole run.
function(trim_run_under_wine)
    if(ARGN)
        set_tests_properties(${ARGN} PROPERTIES FIXTURES_REQUIRED wine ENVIRONMENT "${TRIM_WINE_ENVIRONMENT}"
                                                SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\];Running 0 tests from"
                                                TIMEOUT 120)
    endif()
endfunction()
