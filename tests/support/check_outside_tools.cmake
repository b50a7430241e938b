# The Python and CMake checks' way with a missing outside program: under CI they fail naming it
# and its package, elsewhere they skip (Python: exit 77; CMake: the "SKIPPED: " line).
#   cmake -DSUPPORT=<tests/support> -DSCRATCH=... -P check_outside_tools.cmake
cmake_minimum_required(VERSION 3.25)

file(MAKE_DIRECTORY ${SCRATCH})
file(WRITE ${SCRATCH}/needs_tool.cmake
     "include(${SUPPORT}/outside_tool.cmake)\n"
     "pixolet_find_tool(TOOL pixolet-no-such-tool nosuch-package)\n"
     "pixolet_report_skipped_tools()\n")
string(CONCAT python_check
    "import sys; sys.path.insert(0, '${SUPPORT}'); import outside_tools as t; "
    "t.require(('pixolet-no-such-tool', 'nosuch-package', t.program('pixolet-no-such-tool')))")
set(expected "pixolet-no-such-tool is[^\n]* the Debian package nosuch-package")

set(failures "")
foreach(ci true unset)
    if(ci STREQUAL "true")
        set(env CI=true)
    else()
        set(env --unset=CI)
    endif()
    execute_process(COMMAND ${CMAKE_COMMAND} -E env ${env} ${CMAKE_COMMAND} -P ${SCRATCH}/needs_tool.cmake
                    RESULT_VARIABLE cmake_rc OUTPUT_VARIABLE cmake_out ERROR_VARIABLE cmake_out)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env ${env} /usr/bin/python3 -c "${python_check}"
                    RESULT_VARIABLE python_rc OUTPUT_VARIABLE python_out ERROR_VARIABLE python_out)
    if(ci STREQUAL "true")
        if(cmake_rc EQUAL 0 OR cmake_out MATCHES "SKIPPED: ")
            string(APPEND failures "CMake, CI=true: did not fail (${cmake_rc}): ${cmake_out}\n")
        endif()
        if(NOT python_rc EQUAL 1)
            string(APPEND failures "Python, CI=true: exit ${python_rc}, not 1: ${python_out}\n")
        endif()
    else()
        if(NOT cmake_rc EQUAL 0 OR NOT cmake_out MATCHES "SKIPPED: ")
            string(APPEND failures "CMake, no CI: did not skip (${cmake_rc}): ${cmake_out}\n")
        endif()
        if(NOT python_rc EQUAL 77)
            string(APPEND failures "Python, no CI: exit ${python_rc}, not 77: ${python_out}\n")
        endif()
    endif()
    foreach(out cmake_out python_out)
        if(NOT ${out} MATCHES "${expected}")
            string(APPEND failures "${out} with CI ${ci} does not name the tool and package: ${${out}}\n")
        endif()
    endforeach()
endforeach()
file(REMOVE_RECURSE ${SCRATCH})
if(failures)
    message(FATAL_ERROR "${failures}")
endif()
