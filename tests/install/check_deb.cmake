# Makes the Debian package, unpacks it into a scratch root as dpkg would install it, checks its
# dependencies and layout, and starts the unpacked program offscreen: it must come up and stay
# up (a missing library or a crash at start ends it at once). Without Debian's package tools it
# skips, and fails under CI (outside_tool.cmake).
#   cmake -DBUILD_DIR=... -DSCRATCH=... -P check_deb.cmake
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/../support/outside_tool.cmake)
pixolet_find_tool(DPKG_DEB dpkg-deb dpkg)
pixolet_find_tool(DPKG_SHLIBDEPS dpkg-shlibdeps dpkg-dev)  # cpack works out the dependencies
pixolet_find_tool(LINTIAN lintian lintian)
if(NOT DPKG_DEB OR NOT DPKG_SHLIBDEPS)
    pixolet_report_skipped_tools()
    return()
endif()

file(REMOVE_RECURSE ${SCRATCH})
file(MAKE_DIRECTORY ${SCRATCH}/out ${SCRATCH}/root ${SCRATCH}/home)
execute_process(COMMAND ${CMAKE_CPACK_COMMAND} --config ${BUILD_DIR}/CPackConfig.cmake
                        -B ${SCRATCH}/out
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
file(GLOB debs ${SCRATCH}/out/pixolet_*.deb)
list(LENGTH debs count)
if(NOT rc EQUAL 0 OR NOT count EQUAL 1)
    message(FATAL_ERROR "cpack made no single package (${rc}):\n${out}")
endif()

execute_process(COMMAND ${DPKG_DEB} --field ${debs} Depends OUTPUT_VARIABLE depends
                RESULT_VARIABLE rc)
set(failures "")
foreach(library libqt6widgets6 libqt6svg6 libjpeg62-turbo libuemf0)
    if(NOT depends MATCHES "${library}")
        string(APPEND failures "Depends lacks ${library}: ${depends}\n")
    endif()
endforeach()

execute_process(COMMAND ${DPKG_DEB} -x ${debs} ${SCRATCH}/root RESULT_VARIABLE rc)
foreach(path usr/bin/pixolet usr/bin/pixolet-batch
             usr/share/pixolet/index.htm usr/share/pixolet/download.html
             usr/share/applications/example.pixolet.Pixolet.desktop
             usr/share/metainfo/example.pixolet.Pixolet.metainfo.xml
             usr/share/icons/hicolor/scalable/apps/example.pixolet.Pixolet.svg
             usr/share/icons/hicolor/48x48/apps/example.pixolet.Pixolet.png
             usr/share/doc/pixolet/copyright usr/share/doc/pixolet/changelog.gz
             usr/share/man/man1/pixolet.1.gz usr/share/man/man1/pixolet-batch.1.gz)
    if(NOT EXISTS ${SCRATCH}/root/${path})
        string(APPEND failures "the package lacks ${path}\n")
    endif()
endforeach()
execute_process(COMMAND ${DPKG_DEB} -c ${debs} OUTPUT_VARIABLE listing)
if(listing MATCHES "pixolet-probe|pixolet-render-icon")
    string(APPEND failures "a developers' tool is in the package\n")
endif()

# Debian's own package checker: errors and warnings fail, its informational notes do not.
if(LINTIAN)
    execute_process(COMMAND ${LINTIAN} --fail-on error,warning ${debs}
                    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT rc EQUAL 0)
        string(APPEND failures "lintian finds faults in the package (${rc}):\n${out}${err}\n")
    endif()
endif()

if(EXISTS ${SCRATCH}/root/usr/bin/pixolet)
    # Still running after a few seconds: it started and shows its window; the timeout ends it.
    execute_process(COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
                            XDG_DATA_HOME=${SCRATCH}/home HOME=${SCRATCH}/home
                            ${SCRATCH}/root/usr/bin/pixolet
                    TIMEOUT 5 RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(NOT rc MATCHES "timeout")
        string(APPEND failures "the unpacked program ended at once (${rc}):\n${out}\n")
    elseif(NOT EXISTS ${SCRATCH}/home/PixoletOut)
        string(APPEND failures "the unpacked program never made its work folder\n")
    endif()
endif()

if(failures)
    message(FATAL_ERROR "${failures}")
endif()
file(REMOVE_RECURSE ${SCRATCH})
pixolet_report_skipped_tools()
