# The outside programs the CMake checks use, required as outside_tool.h requires them for the C++
# tests: where one is missing the check goes on without it and ends as skipped, except under CI
# (CI=true or 1), where it fails. Either way the message names the program and the Debian package
# that brings it; scripts/setup installs them all. A check that includes this file ends with
# pixolet_report_skipped_tools() and is registered with SKIP_REGULAR_EXPRESSION "SKIPPED: ".

# pixolet_find_tool(VAR PROGRAM PACKAGE): VAR is the program's path, or empty when it is missing.
function(pixolet_find_tool var program package)
    unset(pixolet_tool_path)
    find_program(pixolet_tool_path ${program} NO_CACHE)
    if(pixolet_tool_path)
        set(${var} ${pixolet_tool_path} PARENT_SCOPE)
        return()
    endif()
    set(text "${program} is missing: install the Debian package ${package}")
    if("$ENV{CI}" MATCHES "^[ \t]*([Tt][Rr][Uu][Ee]|1)[ \t]*$")
        message(FATAL_ERROR "${text} (scripts/setup installs every package the tests use)")
    endif()
    set(${var} "" PARENT_SCOPE)
    set(PIXOLET_MISSING_TOOLS ${PIXOLET_MISSING_TOOLS} "${text}" PARENT_SCOPE)
endfunction()

# Says which programs were missing, in the line ctest takes for a skip; nothing when none was.
macro(pixolet_report_skipped_tools)
    if(PIXOLET_MISSING_TOOLS)
        list(JOIN PIXOLET_MISSING_TOOLS "; " pixolet_missing_text)
        message("SKIPPED: ${pixolet_missing_text} "
                "(scripts/setup installs every package the tests use)")
    endif()
endmacro()
