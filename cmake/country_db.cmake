# The shipped country database: geo-whois-asn-country.mmdb from the npm package
# @ip-location-db/geo-whois-asn-country-mmdb, at the version and integrity hash that
# data/country-db/package-lock.json pins. The registry tarball is fetched with curl and
# checked here, so building needs no Node.js. NETSORTER_COUNTRY_MMDB names the file;
# given another path, nothing is fetched and that file ships instead.
include(download)

set(NETSORTER_COUNTRY_DB_PACKAGE "@ip-location-db/geo-whois-asn-country-mmdb")
set(NETSORTER_COUNTRY_DB_LOCK "${CMAKE_SOURCE_DIR}/data/country-db/package-lock.json")
set(netsorter_pinned_mmdb "${CMAKE_BINARY_DIR}/country-db/geo-whois-asn-country.mmdb")
set(NETSORTER_COUNTRY_MMDB "${netsorter_pinned_mmdb}" CACHE FILEPATH
    "MaxMind DB country database shipped beside the programs (default: the pinned one)")

set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${NETSORTER_COUNTRY_DB_LOCK}")
file(READ "${NETSORTER_COUNTRY_DB_LOCK}" netsorter_lock)
string(JSON NETSORTER_COUNTRY_DB_VERSION GET "${netsorter_lock}" packages
       "node_modules/${NETSORTER_COUNTRY_DB_PACKAGE}" version)

# The database's licence and attribution ship beside it; a database given in its place
# brings its own terms.
set(NETSORTER_COUNTRY_DB_LICENSE_FILES "")
set(NETSORTER_COUNTRY_DB_PINNED OFF)
# The programs know the pinned file by its content, not its name, to credit its data.
set(NETSORTER_COUNTRY_DB_SHA256 "")
set(NETSORTER_COUNTRY_DB_SIZE 0)
if(NETSORTER_COUNTRY_MMDB STREQUAL netsorter_pinned_mmdb)
    set(NETSORTER_COUNTRY_DB_PINNED ON)
    block(PROPAGATE NETSORTER_COUNTRY_DB_LICENSE_FILES NETSORTER_COUNTRY_DB_SHA256
                    NETSORTER_COUNTRY_DB_SIZE)
        netsorter_download_npm(tarball sha512 "${NETSORTER_COUNTRY_DB_LOCK}"
                               "${NETSORTER_COUNTRY_DB_PACKAGE}")
        string(REGEX REPLACE ".*/" "" tarball_name "${tarball}")
        set(integrity "${sha512}")

        # Extracted into the build tree, again whenever the pin changes.
        get_filename_component(dir "${netsorter_pinned_mmdb}" DIRECTORY)
        set(stamp "${dir}/extracted-from.txt")
        set(extracted "")
        if(EXISTS "${stamp}" AND EXISTS "${netsorter_pinned_mmdb}")
            file(READ "${stamp}" extracted)
        endif()
        if(NOT extracted STREQUAL integrity)
            message(STATUS "Extracting geo-whois-asn-country.mmdb from ${tarball_name}")
            file(REMOVE_RECURSE "${dir}")
            file(ARCHIVE_EXTRACT INPUT "${tarball}" DESTINATION "${dir}/package-files"
                 PATTERNS package/geo-whois-asn-country.mmdb TOUCH)
            file(RENAME "${dir}/package-files/package/geo-whois-asn-country.mmdb"
                 "${netsorter_pinned_mmdb}")
            file(REMOVE_RECURSE "${dir}/package-files")
            file(WRITE "${stamp}" "${integrity}")
        endif()

        file(SHA256 "${netsorter_pinned_mmdb}" NETSORTER_COUNTRY_DB_SHA256)
        file(SIZE "${netsorter_pinned_mmdb}" NETSORTER_COUNTRY_DB_SIZE)
        set(NETSORTER_COUNTRY_DB_LICENSE_FILES "${dir}/geo-whois-asn-country.mmdb.txt")
        configure_file("${CMAKE_SOURCE_DIR}/data/licenses/geo-whois-asn-country.mmdb.txt.in"
                       "${NETSORTER_COUNTRY_DB_LICENSE_FILES}" @ONLY)
    endblock()
elseif(NOT EXISTS "${NETSORTER_COUNTRY_MMDB}")
    message(FATAL_ERROR "NETSORTER_COUNTRY_MMDB: ${NETSORTER_COUNTRY_MMDB} does not exist")
endif()

unset(netsorter_lock)
