# Installs the build into a scratch prefix and checks what a desktop finds there: the program,
# its help pages, the menu entry, the icons and the software-centre description, the last two
# validated with the desktop's own tools (outside_tool.cmake: without them the check skips, and
# fails under CI).
#   cmake -DBUILD_DIR=... -DSCRATCH=... -P check_install.cmake
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/../support/outside_tool.cmake)
pixolet_find_tool(DESKTOP_FILE_VALIDATE desktop-file-validate desktop-file-utils)
pixolet_find_tool(APPSTREAMCLI appstreamcli appstream)

set(prefix ${SCRATCH}/prefix)
file(REMOVE_RECURSE ${SCRATCH})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cmake --install failed (${rc}):\n${out}")
endif()

set(id example.pixolet.Pixolet)
set(expected
    bin/pixolet
    bin/pixolet-batch
    share/man/man1/pixolet-batch.1.gz
    share/pixolet/index.htm
    share/pixolet/download.html
    share/applications/${id}.desktop
    share/metainfo/${id}.metainfo.xml
    share/icons/hicolor/scalable/apps/${id}.svg)
foreach(size 16 24 32 48 64 128 256)
    list(APPEND expected share/icons/hicolor/${size}x${size}/apps/${id}.png)
endforeach()
set(failures "")
foreach(path IN LISTS expected)
    if(NOT EXISTS ${prefix}/${path})
        string(APPEND failures "missing: ${path}\n")
    endif()
endforeach()
if(EXISTS ${prefix}/bin/index.htm)
    string(APPEND failures "the help pages belong in share/pixolet, not bin\n")
endif()
foreach(program pixolet pixolet-batch)
    execute_process(COMMAND test -x ${prefix}/bin/${program} RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        string(APPEND failures "bin/${program} is not executable\n")
    endif()
endforeach()
# The installed command runs on its own: it answers --help without a display.
if(EXISTS ${prefix}/bin/pixolet-batch)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY
                            ${prefix}/bin/pixolet-batch --help
                    TIMEOUT 30 RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT rc EQUAL 0 OR NOT out MATCHES "usage: pixolet-batch")
        string(APPEND failures "pixolet-batch --help failed (${rc}):\n${out}${err}\n")
    endif()
endif()

# A PNG of the size its folder names: the width and height in the IHDR chunk.
foreach(size 16 48 256)
    set(png ${prefix}/share/icons/hicolor/${size}x${size}/apps/${id}.png)
    if(EXISTS ${png})
        file(READ ${png} header LIMIT 24 HEX)
        string(SUBSTRING "${header}" 0 16 signature)
        string(SUBSTRING "${header}" 32 16 dimensions)
        math(EXPR want_hex "${size}" OUTPUT_FORMAT HEXADECIMAL)
        string(REPLACE "0x" "" want_hex "${want_hex}")
        string(LENGTH "${want_hex}" n)
        while(n LESS 8)
            string(PREPEND want_hex "0")
            math(EXPR n "${n} + 1")
        endwhile()
        string(TOLOWER "${want_hex}${want_hex}" want_dimensions)
        if(NOT signature STREQUAL "89504e470d0a1a0a" OR NOT dimensions STREQUAL want_dimensions)
            string(APPEND failures "${size}x${size} icon is not a ${size} x ${size} PNG (${header})\n")
        endif()
    endif()
endforeach()

set(desktop_file ${prefix}/share/applications/${id}.desktop)
if(EXISTS ${desktop_file})
    file(STRINGS ${desktop_file} lines)
    foreach(want "Name=Pixolet" "Exec=pixolet" "Icon=${id}" "Type=Application"
                 "Categories=Graphics;Viewer;2DGraphics;")
        if(NOT want IN_LIST lines)
            string(APPEND failures "the .desktop entry lacks \"${want}\"\n")
        endif()
    endforeach()
    # Pixolet takes no file argument, so the entry passes none.
    foreach(line IN LISTS lines)
        if(line MATCHES "^Exec=.*%[fFuU]")
            string(APPEND failures "the .desktop entry passes a file argument: ${line}\n")
        endif()
    endforeach()
    if(DESKTOP_FILE_VALIDATE)
        execute_process(COMMAND ${DESKTOP_FILE_VALIDATE} ${desktop_file}
                        RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
        message(STATUS "desktop-file-validate: ${rc} ${out}")
        if(NOT rc EQUAL 0 OR out MATCHES "error:")
            string(APPEND failures "desktop-file-validate:\n${out}\n")
        endif()
    endif()
endif()

set(metainfo ${prefix}/share/metainfo/${id}.metainfo.xml)
if(EXISTS ${metainfo} AND APPSTREAMCLI)
    execute_process(COMMAND ${APPSTREAMCLI} validate --no-net ${metainfo}
                    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
    message(STATUS "appstreamcli validate: ${rc} ${out}")
    if(NOT rc EQUAL 0)
        string(APPEND failures "appstreamcli validate:\n${out}\n")
    endif()
endif()

if(failures)
    message(FATAL_ERROR "the installed layout is wrong:\n${failures}")
endif()
file(REMOVE_RECURSE ${SCRATCH})
pixolet_report_skipped_tools()
