# cmake -DBUILD_DIR=... -DPREFIX=... -DGROFF=... -P checkinstall.cmake
# Fails on a file missing, misplaced or extra, an icon of the wrong size, a binary that does not
# run, a menu entry naming nothing installed, a manual page groff warns about, or a shell
# completion offering the wrong words.
# check(CONDITION MESSAGE): CONDITION as if() takes it, in the caller's variables.
function(check)
    cmake_language(EVAL CODE "if(NOT (${ARGV0}))\nmessage(FATAL_ERROR [==[${ARGV1}]==])\nendif()")
endfunction()
set(id io.github.quillet.tavrel)
set(apps share/icons/hicolor/scalable/apps)
set(expected bin/quillet bin/quillet-map share/applications/${id}.desktop ${apps}/${id}.svg
    share/bash-completion/completions/quillet share/bash-completion/completions/quillet-map
    share/man/man1/quillet-map.1 share/man/man1/quillet.1 share/metainfo/${id}.metainfo.xml)
foreach(size 16 24 32 48 64 128 256)
    set(png share/icons/hicolor/${size}x${size}/apps/${id}.png)
    list(APPEND expected ${png})
    list(APPEND pngs ${size} ${png})
endforeach()

file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
    RESULT_VARIABLE status OUTPUT_QUIET)
check("status EQUAL 0" "cmake --install failed: ${status}")
file(GLOB_RECURSE found LIST_DIRECTORIES false RELATIVE ${PREFIX} ${PREFIX}/*)
list(SORT found)
list(SORT expected)
check("found STREQUAL expected" "install tree differs:\n  ${found}\nexpected\n  ${expected}")

# Running them shows both that they are executable and that they are these programs.
foreach(program quillet quillet-map)
    execute_process(COMMAND ${PREFIX}/bin/${program} --version
        RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
    string(FIND "${out}" "${program} (Quillet Tavrel) " at)
    check("status EQUAL 0 AND at EQUAL 0"
        "${program} --version: status ${status}, '${out}' ${err}")
    execute_process(COMMAND ${GROFF} -man -Tutf8 -ww -z ${PREFIX}/share/man/man1/${program}.1
        RESULT_VARIABLE status ERROR_VARIABLE err)
    check("status EQUAL 0 AND err STREQUAL \"\"" "groff on ${program}.1: status ${status}\n${err}")
endforeach()

# A PNG's signature, then its width and height as the big-endian words at bytes 16 and 20.
while(pngs)
    list(POP_FRONT pngs size png)
    file(READ ${PREFIX}/${png} header LIMIT 24 HEX)
    string(REGEX MATCH "^89504e470d0a1a0a................(........)(........)$" ignored "${header}")
    math(EXPR width "0x0${CMAKE_MATCH_1}")
    math(EXPR height "0x0${CMAKE_MATCH_2}")
    check("width EQUAL size AND height EQUAL size" "${png}: not a ${size}x${size} PNG: ${header}")
endwhile()

# The menu entry must start an installed program and name the installed icon.
file(STRINGS ${PREFIX}/share/applications/${id}.desktop entry REGEX "^(Exec|Icon)=")
string(REGEX MATCH "Exec=([^ ;]+).*;Icon=([^;]+)" ignored "${entry}")
check("EXISTS \"${PREFIX}/bin/${CMAKE_MATCH_1}\" AND EXISTS \"${PREFIX}/${apps}/${CMAKE_MATCH_2}.svg\""
    "the desktop entry's Exec or Icon names nothing installed: ${entry}")

# The words on the line, the last one being completed, then what is offered. bash splits
# "--png=NAME" at the "=" itself. Run in bin/, so the programs are the files to offer.
find_program(BASH bash REQUIRED)
foreach(case "quillet-map --bl|--block-size=" "quillet-map --q|--quiet"
        "quillet-map --png quillet-m|quillet-map" "quillet-map --png = quillet-m|quillet-map"
        "quillet-map -b quillet-m|" "quillet-map --range = quillet-m|"
        "quillet-map --json quillet-m|quillet-map" "quillet-map -- --j|" "quillet --v|--version"
        "quillet quillet-m|quillet-map")
    string(REGEX MATCH "^(([^ ]+)[^|]*)\\|(.*)$" ignored "${case}")
    set(offered "${CMAKE_MATCH_3}")
    string(REPLACE "-" "_" function "_${CMAKE_MATCH_2}")
    separate_arguments(words UNIX_COMMAND "${CMAKE_MATCH_1}")
    execute_process(COMMAND ${BASH} -c "source \"$1\"; shift; COMP_WORDS=(\"$@\");
            COMP_CWORD=$(($# - 1)); ${function}; printf %s \"\${COMPREPLY[*]}\""
            bash ${PREFIX}/share/bash-completion/completions/${CMAKE_MATCH_2} ${words}
        WORKING_DIRECTORY ${PREFIX}/bin RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
    check("status EQUAL 0 AND out STREQUAL offered AND err STREQUAL \"\""
        "completing '${case}': offered '${out}', expected '${offered}' ${err}")
endforeach()
