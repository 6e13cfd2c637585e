# Reads a Windows DLL with objdump -p and fails unless it exports exactly VSTPluginMain, main and MAIN
# and imports from Windows system libraries only, so nothing (libgcc, libstdc++, winpthread) has to
# be copied beside it. Usage: cmake -DOBJDUMP=<objdump> -DDLL=<file> -P check_windows_dll.cmake
cmake_minimum_required(VERSION 3.25)

set(system_libraries kernel32.dll msvcrt.dll user32.dll advapi32.dll ntdll.dll)

execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE dump ERROR_VARIABLE problem RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} -p ${DLL} failed: ${problem}")
endif()

# The export names follow the "[Ordinal/Name Pointer] Table" heading, one "[ n] name" line each.
string(FIND "${dump}" "[Ordinal/Name Pointer] Table" table_start)
if(table_start EQUAL -1)
    message(FATAL_ERROR "${DLL} has no export name table")
endif()
string(SUBSTRING "${dump}" ${table_start} -1 table)
string(REGEX MATCHALL "\n[\t ]+\\[ *[0-9]+\\] [^\n]+" export_lines "${table}")
set(exports "")
foreach(line IN LISTS export_lines)
    string(REGEX REPLACE "^\n[\t ]+\\[ *[0-9]+\\] " "" name "${line}")
    list(APPEND exports "${name}")
endforeach()
list(SORT exports)
if(NOT exports STREQUAL "MAIN;VSTPluginMain;main")
    message(FATAL_ERROR "${DLL} exports [${exports}], expected exactly [MAIN;VSTPluginMain;main]")
endif()

string(REGEX MATCHALL "DLL Name: [^\n]+" import_lines "${dump}")
set(imports "")
foreach(line IN LISTS import_lines)
    string(REGEX REPLACE "^DLL Name: " "" name "${line}")
    string(STRIP "${name}" name)
    string(TOLOWER "${name}" name)
    list(APPEND imports "${name}")
    if(NOT name IN_LIST system_libraries)
        message(FATAL_ERROR "${DLL} imports ${name}, which is not a Windows system library")
    endif()
endforeach()
if(NOT "kernel32.dll" IN_LIST imports)
    message(FATAL_ERROR "no imports read from ${DLL}: the objdump output was not understood")
endif()
message(STATUS "${DLL}: exports [${exports}], imports [${imports}]")
