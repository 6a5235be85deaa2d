# cmake -DBUILD_DIR=... -DPREFIX=... -DGROFF=... -P checkinstall.cmake
# Fails on the first file missing, misplaced or extra, an icon of the wrong size, a binary
# that does not run, a manual page that groff warns about, or a shell completion that offers
# the wrong words.
set(id io.github.quillet.tavrel)
set(sizes 16 24 32 48 64 128 256)

set(expected
    bin/quillet
    bin/quillet-map
    share/applications/${id}.desktop
    share/bash-completion/completions/quillet
    share/bash-completion/completions/quillet-map
    share/icons/hicolor/scalable/apps/${id}.svg
    share/man/man1/quillet-map.1
    share/man/man1/quillet.1
    share/metainfo/${id}.metainfo.xml)
foreach(size IN LISTS sizes)
    list(APPEND expected share/icons/hicolor/${size}x${size}/apps/${id}.png)
endforeach()

file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
    RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "cmake --install failed: ${status}")
endif()

file(GLOB_RECURSE found LIST_DIRECTORIES false RELATIVE ${PREFIX} ${PREFIX}/*)
list(SORT found)
list(SORT expected)
if(NOT found STREQUAL expected)
    set(missing ${expected})
    list(REMOVE_ITEM missing ${found})
    set(extra ${found})
    list(REMOVE_ITEM extra ${expected})
    message(FATAL_ERROR "install tree differs\n  missing: ${missing}\n  unexpected: ${extra}")
endif()

# Running them shows both that they are executable and that they are these programs.
foreach(program quillet quillet-map)
    execute_process(COMMAND ${PREFIX}/bin/${program} --version
        RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT status EQUAL 0 OR NOT out MATCHES "^${program} \\(Quillet Tavrel\\) ")
        message(FATAL_ERROR "${program} --version: status ${status}, '${out}' ${err}")
    endif()
endforeach()

# The width and height of a PNG are the big-endian words at bytes 16 and 20.
foreach(size IN LISTS sizes)
    set(png ${PREFIX}/share/icons/hicolor/${size}x${size}/apps/${id}.png)
    file(READ ${png} header LIMIT 24 HEX)
    string(SUBSTRING "${header}" 0 16 signature)
    string(SUBSTRING "${header}" 32 8 width)
    string(SUBSTRING "${header}" 40 8 height)
    math(EXPR width "0x${width}")
    math(EXPR height "0x${height}")
    if(NOT signature STREQUAL "89504e470d0a1a0a" OR NOT width EQUAL size OR
       NOT height EQUAL size)
        message(FATAL_ERROR "${png}: not a ${size}x${size} PNG (${signature}, ${width}x${height})")
    endif()
endforeach()

# The menu entry must start an installed program and name the installed icon.
file(STRINGS ${PREFIX}/share/applications/${id}.desktop entry)
string(REGEX MATCH "Exec=([^ ;]+)" ignored "${entry}")
if(NOT CMAKE_MATCH_1 OR NOT EXISTS ${PREFIX}/bin/${CMAKE_MATCH_1})
    message(FATAL_ERROR "the desktop entry's Exec names no installed program")
endif()
string(REGEX MATCH "Icon=([^;]+)" ignored "${entry}")
if(NOT CMAKE_MATCH_1 OR NOT EXISTS ${PREFIX}/share/icons/hicolor/scalable/apps/${CMAKE_MATCH_1}.svg)
    message(FATAL_ERROR "the desktop entry's Icon names no installed icon")
endif()

foreach(page quillet quillet-map)
    execute_process(COMMAND ${GROFF} -man -Tutf8 -ww -z ${PREFIX}/share/man/man1/${page}.1
        RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT status EQUAL 0 OR NOT err STREQUAL "")
        message(FATAL_ERROR "groff on ${page}.1: status ${status}\n${err}")
    endif()
endforeach()

# Each case: the words on the line, the last one being completed, then what is offered. bash
# splits "--png=NAME" at the "=" itself. Run in bin/, so the programs are the files to offer.
set(completions
    "quillet-map --bl|--block-size="
    "quillet-map --q|--quiet"
    "quillet-map --png quillet-m|quillet-map"
    "quillet-map --png = quillet-m|quillet-map"
    "quillet-map -b quillet-m|"
    "quillet-map --range = quillet-m|"
    "quillet-map --json quillet-m|quillet-map"
    "quillet-map -- --j|"
    "quillet --v|--version"
    "quillet quillet-m|quillet-map")
find_program(BASH bash REQUIRED)
foreach(case IN LISTS completions)
    string(FIND "${case}" "|" bar)
    string(SUBSTRING "${case}" 0 ${bar} words)
    math(EXPR bar "${bar} + 1")
    string(SUBSTRING "${case}" ${bar} -1 offered)
    separate_arguments(words UNIX_COMMAND "${words}")
    list(GET words 0 program)
    string(REPLACE "-" "_" function "_${program}")
    execute_process(COMMAND ${BASH} -c "source \"$1\"; shift; COMP_WORDS=(\"$@\");
            COMP_CWORD=$(($# - 1)); ${function}; printf %s \"\${COMPREPLY[*]}\""
            bash ${PREFIX}/share/bash-completion/completions/${program} ${words}
        WORKING_DIRECTORY ${PREFIX}/bin
        RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT status EQUAL 0 OR NOT out STREQUAL offered OR NOT err STREQUAL "")
        message(FATAL_ERROR "completing '${case}': offered '${out}', expected '${offered}' ${err}")
    endif()
endforeach()
