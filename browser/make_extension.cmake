# Makes one browser's folder of the extension "Проверить IP" from the one source:
#   cmake -DSOURCE=browser/extension -DBROWSER=chromium|firefox -DVERSION=1.0.0 -DOUT=DIR
#         -P make_extension.cmake
# The manifest is manifest.base.json with the members of manifest.BROWSER.json added; the
# two are joined as text, so that they keep their layout and their Cyrillic as written.
cmake_minimum_required(VERSION 3.25)
foreach(var SOURCE BROWSER VERSION OUT)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "make_extension.cmake: ${var} is not set")
    endif()
endforeach()

function(read_object file out_text out_names)
    file(READ ${file} text)
    string(JSON count ERROR_VARIABLE error LENGTH "${text}")
    if(error)
        message(FATAL_ERROR "${file}: ${error}")
    endif()
    set(names)
    if(count GREATER 0)
        math(EXPR last "${count} - 1")
        foreach(i RANGE ${last})
            string(JSON name MEMBER "${text}" ${i})
            list(APPEND names ${name})
        endforeach()
    endif()
    string(STRIP "${text}" text)
    set(${out_text} "${text}" PARENT_SCOPE)
    set(${out_names} "${names}" PARENT_SCOPE)
endfunction()

read_object(${SOURCE}/manifest.base.json base base_names)
read_object(${SOURCE}/manifest.${BROWSER}.json extra extra_names)
foreach(name IN LISTS extra_names)
    if(name IN_LIST base_names)
        message(FATAL_ERROR "manifest.${BROWSER}.json: \"${name}\" is in manifest.base.json too")
    endif()
endforeach()

# base without its closing brace, then extra without its opening one.
string(REGEX REPLACE "[ \t\r\n]*}$" "" base "${base}")
string(REGEX REPLACE "^{[ \t\r\n]*" "" extra "${extra}")
set(NETSORTER_VERSION ${VERSION})
string(CONFIGURE "${base},\n  ${extra}\n" manifest @ONLY)
string(JSON ignored ERROR_VARIABLE error LENGTH "${manifest}")
if(error)
    message(FATAL_ERROR "the ${BROWSER} manifest made is not JSON: ${error}")
endif()

# A file removed from the source must not linger in the folder.
file(REMOVE_RECURSE ${OUT})
file(COPY ${SOURCE}/background.js ${SOURCE}/icons DESTINATION ${OUT})
file(WRITE ${OUT}/manifest.json "${manifest}")
