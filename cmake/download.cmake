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

# Fetches the registry tarball of PACKAGE at the version and integrity that the npm lock
# file LOCK pins (read with no Node.js: npm's integrity is base64 SHA-512, CMake hashes in
# hex). Sets OUT to the tarball's path and OUT_SHA512 to its hash.
function(netsorter_download_npm out out_sha512 lock package)
    file(READ "${lock}" text)
    set(entry "node_modules/${package}")
    string(JSON integrity GET "${text}" packages "${entry}" integrity)
    string(JSON url GET "${text}" packages "${entry}" resolved)
    if(NOT integrity MATCHES "^sha512-([A-Za-z0-9+/]+=*)$")
        message(FATAL_ERROR "${lock}: no sha512 integrity for ${entry}")
    endif()
    execute_process(COMMAND printf %s "${CMAKE_MATCH_1}" COMMAND base64 --decode
                    COMMAND od -A n -v -t x1 OUTPUT_VARIABLE sha512 COMMAND_ERROR_IS_FATAL ANY)
    string(REGEX REPLACE "[ \n]" "" sha512 "${sha512}")
    string(REGEX REPLACE ".*/" "" tarball_name "${url}")
    netsorter_download(tarball "${tarball_name}" "${url}" SHA512 "${sha512}")
    set(${out} "${tarball}" PARENT_SCOPE)
    set(${out_sha512} "${sha512}" PARENT_SCOPE)
endfunction()
