# Fails unless the plug-in binary defines exactly the dynamic symbols VSTPluginMain, main and MAIN.
# Usage: cmake -DNM=<nm> -DPLUGIN=<path to the .so> -P check_exports.cmake
execute_process(COMMAND ${NM} -D --defined-only ${PLUGIN}
                OUTPUT_VARIABLE listing ERROR_VARIABLE errors RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "nm failed on ${PLUGIN}: ${errors}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${listing}")
set(names "")
foreach(line IN LISTS lines)
    # "<address> <type> <name>"; the name is the last field.
    string(REGEX REPLACE "^.* " "" name "${line}")
    list(APPEND names "${name}")
endforeach()
list(SORT names)
if(NOT names STREQUAL "MAIN;VSTPluginMain;main")
    message(FATAL_ERROR "exported symbols are [${names}], expected exactly MAIN, VSTPluginMain and main")
endif()
message(STATUS "exports: ${names}")
