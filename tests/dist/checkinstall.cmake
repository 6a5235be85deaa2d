# cmake -DBUILD_DIR=... -DPREFIX=... -DGROFF=... -P checkinstall.cmake: the tree a packager ships.
function(check condition message) # the condition as if() takes it, in the caller's variables
    cmake_language(EVAL CODE "if(NOT (${condition}))\nmessage(FATAL_ERROR [==[${message}]==])\nendif()")
endfunction()
set(id io.github.quillet.tavrel)
set(apps share/icons/hicolor/scalable/apps)
set(expected bin/quillet bin/quillet-map share/applications/${id}.desktop ${apps}/${id}.svg
    share/bash-completion/completions/quillet share/bash-completion/completions/quillet-map
    share/man/man1/quillet-map.1 share/man/man1/quillet.1 share/metainfo/${id}.metainfo.xml
    share/doc/quillet/copyright)
foreach(size 16 24 32 48 64 128 256)
    list(APPEND expected share/icons/hicolor/${size}x${size}/apps/${id}.png)
endforeach()

file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
    RESULT_VARIABLE status OUTPUT_QUIET)
file(GLOB_RECURSE found LIST_DIRECTORIES false RELATIVE ${PREFIX} ${PREFIX}/*)
list(SORT found)
list(SORT expected)
check("status EQUAL 0 AND found STREQUAL expected" "installed (${status}):\n${found}\nnot\n${expected}")

# A PNG's signature, then its width and height as the big-endian words at bytes 16 and 20.
foreach(png IN LISTS expected)
    if(png MATCHES "/([0-9]+)x[0-9]+/apps/.*png$")
        file(READ ${PREFIX}/${png} header LIMIT 24 HEX)
        string(REGEX MATCH "^89504e470d0a1a0a................(........)(........)$" ignored "${header}")
        math(EXPR width "0x0${CMAKE_MATCH_1}")
        math(EXPR height "0x0${CMAKE_MATCH_2}")
        check("\"${png}\" MATCHES \"/${width}x${height}/\"" "${png}: a PNG of ${width}x${height}")
    endif()
endforeach()

# Running them shows both that they are executable and that they are these programs.
foreach(program quillet quillet-map)
    execute_process(COMMAND ${PREFIX}/bin/${program} --version OUTPUT_VARIABLE out ERROR_VARIABLE err)
    string(FIND "${out}" "${program} (Quillet Tavrel) " at)
    execute_process(COMMAND ${GROFF} -man -Tutf8 -ww -z ${PREFIX}/share/man/man1/${program}.1
        RESULT_VARIABLE status ERROR_VARIABLE groff)
    check("at EQUAL 0 AND status EQUAL 0 AND groff STREQUAL \"\""
        "${program} --version: '${out}' ${err}\ngroff on ${program}.1: ${status} ${groff}")
endforeach()

# The menu entry must start an installed program and name the installed icon.
file(STRINGS ${PREFIX}/share/applications/${id}.desktop entry REGEX "^(Exec|Icon)=")
string(REGEX MATCH "Exec=([^ ;]+).*;Icon=([^;]+)" ignored "${entry}")
check("EXISTS \"${PREFIX}/bin/${CMAKE_MATCH_1}\" AND EXISTS \"${PREFIX}/${apps}/${CMAKE_MATCH_2}.svg\""
    "the menu entry names nothing installed: ${entry}")

# The words on the line, the last one being completed, then what is offered. bash splits
# "--png=NAME" at the "=" itself. Run in bin/, so the programs are the files to offer.
foreach(case "quillet-map --bl|--block-size=" "quillet-map --q|--quiet" "quillet-map -b quillet-m|"
        "quillet-map -b 1|1M 16M 1G" "quillet-map --bl = 6|64K" "quillet-map --si|--silent --size="
        "quillet-map --png quillet-m|quillet-map" "quillet-map --png = quillet-m|quillet-map"
        "quillet-map --range = quillet-m|" "quillet-map --json quillet-m|quillet-map" "quillet-map -V|-V"
        "quillet-map -- --j|" "quillet --v|--version" "quillet quillet-m|quillet-map")
    string(REGEX MATCH "^(([^ ]+)[^|]*)\\|(.*)$" ignored "${case}")
    string(REPLACE "-" "_" function "_${CMAKE_MATCH_2}")
    separate_arguments(words UNIX_COMMAND "${CMAKE_MATCH_1}")
    execute_process(COMMAND bash -c "source \"$1\"; shift; COMP_WORDS=(\"$@\");
            COMP_CWORD=$(($# - 1)); ${function}; printf %s \"\${COMPREPLY[*]}\""
            bash ${PREFIX}/share/bash-completion/completions/${CMAKE_MATCH_2} ${words}
        WORKING_DIRECTORY ${PREFIX}/bin RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
    check("status EQUAL 0 AND out STREQUAL CMAKE_MATCH_3 AND err STREQUAL \"\""
        "completing '${case}': offered '${out}', expected '${CMAKE_MATCH_3}' ${err}")
endforeach()
