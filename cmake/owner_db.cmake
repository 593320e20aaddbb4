# The shipped owner database: asn.mmdb, made by tools/asn_mmdb.pl (Debian's
# libmaxmind-db-writer-perl) from the CSV files of the npm package @ip-location-db/asn, at the
# version and integrity hash that data/owner-db/package-lock.json pins. The tarball is fetched
# with curl and checked, and both the extracted CSV files and the database are kept in the
# download cache, so a fresh build directory converts nothing again. NETSORTER_OWNER_MMDB
# names the file; given another path, nothing is fetched and that file ships instead.
include(download)

set(NETSORTER_OWNER_DB_PACKAGE "@ip-location-db/asn")
set(NETSORTER_OWNER_DB_LOCK "${CMAKE_SOURCE_DIR}/data/owner-db/package-lock.json")
set(netsorter_pinned_owner_mmdb "${CMAKE_BINARY_DIR}/owner-db/asn.mmdb")
set(NETSORTER_OWNER_MMDB "${netsorter_pinned_owner_mmdb}" CACHE FILEPATH
    "MaxMind DB owner database shipped beside the programs (default: made from the pinned data)")

set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${NETSORTER_OWNER_DB_LOCK}"
             "${CMAKE_SOURCE_DIR}/tools/asn_mmdb.pl")
file(READ "${NETSORTER_OWNER_DB_LOCK}" netsorter_lock)
string(JSON NETSORTER_OWNER_DB_VERSION GET "${netsorter_lock}" packages
       "node_modules/${NETSORTER_OWNER_DB_PACKAGE}" version)

set(NETSORTER_OWNER_DB_LICENSE_FILES "")
set(NETSORTER_OWNER_DB_PINNED OFF)
# The pinned data's CSV files, for the tests that compare the database with them.
set(NETSORTER_OWNER_CSV_DIR "")
set(NETSORTER_OWNER_DB_SHA256 "")
set(NETSORTER_OWNER_DB_SIZE 0)
if(NETSORTER_OWNER_MMDB STREQUAL netsorter_pinned_owner_mmdb)
    set(NETSORTER_OWNER_DB_PINNED ON)
    block(PROPAGATE NETSORTER_OWNER_DB_LICENSE_FILES NETSORTER_OWNER_DB_SHA256
                    NETSORTER_OWNER_DB_SIZE NETSORTER_OWNER_CSV_DIR)
        netsorter_download_npm(tarball sha512 "${NETSORTER_OWNER_DB_LOCK}"
                               "${NETSORTER_OWNER_DB_PACKAGE}")
        string(REGEX REPLACE ".*/" "" tarball_name "${tarball}")

        # The cache entry is named by the data and by the converter, so that a change of
        # either makes a new one.
        file(SHA256 "${CMAKE_SOURCE_DIR}/tools/asn_mmdb.pl" converter)
        string(SHA256 tag "${sha512}${converter}")
        string(SUBSTRING "${tag}" 0 16 tag)
        set(cached "${NETSORTER_DOWNLOAD_CACHE}/asn-${NETSORTER_OWNER_DB_VERSION}-${tag}")
        set(NETSORTER_OWNER_CSV_DIR "${cached}")
        if(NOT EXISTS "${cached}/asn.mmdb")
            find_program(NETSORTER_PERL perl REQUIRED)
            string(RANDOM LENGTH 12 part)
            set(work "${cached}.${part}.part")
            message(STATUS "Making asn.mmdb from ${tarball_name}")
            file(ARCHIVE_EXTRACT INPUT "${tarball}" DESTINATION "${work}"
                 PATTERNS package/asn-ipv4.csv package/asn-ipv6.csv package/*LICENSE
                          package/MODIFICATIONS)
            # The version is the data's date and hour: 2.3.YYYYMMDDHH.
            string(REGEX MATCH "([0-9][0-9][0-9][0-9])([0-9][0-9])([0-9][0-9])([0-9][0-9])$"
                   stamp "${NETSORTER_OWNER_DB_VERSION}")
            execute_process(COMMAND date -u -d
                    "${CMAKE_MATCH_1}-${CMAKE_MATCH_2}-${CMAKE_MATCH_3} ${CMAKE_MATCH_4}:00" +%s
                OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
            execute_process(COMMAND "${NETSORTER_PERL}" "${CMAKE_SOURCE_DIR}/tools/asn_mmdb.pl"
                    --out "${work}/package/asn.mmdb" --epoch ${epoch}
                    "${work}/package/asn-ipv4.csv" "${work}/package/asn-ipv6.csv"
                RESULT_VARIABLE status ERROR_VARIABLE error)
            if(NOT status EQUAL 0)
                file(REMOVE_RECURSE "${work}")
                message(FATAL_ERROR "Cannot make asn.mmdb (is libmaxmind-db-writer-perl "
                                    "installed? scripts/deps.sh run): ${error}")
            endif()
            # Builds configuring side by side: a directory is not renamed over one that is
            # there, so the first one's result stays.
            file(RENAME "${work}/package" "${cached}" RESULT ignored)
            file(REMOVE_RECURSE "${work}")
        endif()

        get_filename_component(dir "${netsorter_pinned_owner_mmdb}" DIRECTORY)
        file(MAKE_DIRECTORY "${dir}")
        file(COPY_FILE "${cached}/asn.mmdb" "${netsorter_pinned_owner_mmdb}" ONLY_IF_DIFFERENT)
        file(SHA256 "${netsorter_pinned_owner_mmdb}" NETSORTER_OWNER_DB_SHA256)
        file(SIZE "${netsorter_pinned_owner_mmdb}" NETSORTER_OWNER_DB_SIZE)
        set(NETSORTER_OWNER_DB_LICENSE_FILES "${dir}/asn.mmdb.txt")
        file(READ "${cached}/ROUTEVIEWS-LICENSE" ROUTEVIEWS_LICENSE)
        file(READ "${cached}/DBIP-LICENSE" DBIP_LICENSE)
        file(READ "${cached}/NRO_LICENSE" NRO_LICENSE)
        file(READ "${cached}/MODIFICATIONS" MODIFICATIONS)
        configure_file("${CMAKE_SOURCE_DIR}/data/licenses/asn.mmdb.txt.in"
                       "${NETSORTER_OWNER_DB_LICENSE_FILES}" @ONLY)
    endblock()
elseif(NETSORTER_OWNER_MMDB AND NOT EXISTS "${NETSORTER_OWNER_MMDB}")
    message(FATAL_ERROR "NETSORTER_OWNER_MMDB: ${NETSORTER_OWNER_MMDB} does not exist")
endif()

unset(netsorter_lock)
