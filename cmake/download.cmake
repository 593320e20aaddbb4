# Pinned downloads, kept outside the build tree so that a fresh build directory (or
# `make clean`) does not fetch them again.
if(NOT "$ENV{XDG_CACHE_HOME}" STREQUAL "")
    set(netsorter_default_cache "$ENV{XDG_CACHE_HOME}/netsorter")
else()
    set(netsorter_default_cache "$ENV{HOME}/.cache/netsorter")
endif()
set(NETSORTER_DOWNLOAD_CACHE "${netsorter_default_cache}" CACHE PATH
    "Where pinned downloads (libmaxminddb's source, the country database) are kept")

find_program(NETSORTER_CURL curl REQUIRED)

# Makes FILE (a name in the download cache) the file at URL whose ALGORITHM (SHA256,
# SHA512) hash is HASH (hex), and sets OUT to its path. A cached file is checked every
# time; a download lands under a temporary name and is renamed only once it matches, so
# builds configuring side by side never see half a file.
function(netsorter_download out file url algorithm hash)
    set(path "${NETSORTER_DOWNLOAD_CACHE}/${file}")
    set(${out} "${path}" PARENT_SCOPE)
    string(TOLOWER "${hash}" hash)
    if(EXISTS "${path}")
        file(${algorithm} "${path}" have)
        if(have STREQUAL hash)
            return()
        endif()
        message(STATUS "${path} does not match its pinned hash: fetching it again")
    endif()
    file(MAKE_DIRECTORY "${NETSORTER_DOWNLOAD_CACHE}")
    string(RANDOM LENGTH 12 tag)
    set(part "${path}.${tag}.part")
    message(STATUS "Fetching ${url}")
    execute_process(COMMAND "${NETSORTER_CURL}" --fail --silent --show-error --location
                            --retry 3 --connect-timeout 30 --output "${part}" "${url}"
                    RESULT_VARIABLE status ERROR_VARIABLE error)
    if(NOT status EQUAL 0)
        file(REMOVE "${part}")
        message(FATAL_ERROR "Cannot fetch ${url} (curl exit status ${status}): ${error}")
    endif()
    file(${algorithm} "${part}" have)
    if(NOT have STREQUAL hash)
        file(REMOVE "${part}")
        message(FATAL_ERROR "${url}: ${algorithm} ${have}, but the pin says ${hash}")
    endif()
    file(RENAME "${part}" "${path}")
endfunction()
