# libmaxminddb as one target, netsorter::maxminddb. Natively it is Debian's
# libmaxminddb-dev. The Windows builds have no packaged library and ship no DLLs, and the
# fuzz build must instrument the library's reader too: those build the upstream source
# with this build's own compilers and flags into a static library. The source is the orig
# tarball of Debian's source package, pinned by its hash, which every Debian revision of
# the version shares (the mirror keeps only the current revision's .dsc).
include(download)

set(netsorter_maxminddb_default OFF)
if(CMAKE_CROSSCOMPILING OR NETSORTER_FUZZ)
    set(netsorter_maxminddb_default ON)
endif()
option(NETSORTER_MAXMINDDB_FROM_SOURCE "Build libmaxminddb from its pinned source"
       ${netsorter_maxminddb_default})

# libmaxminddb's LICENSE and NOTICE, shipped by builds that link it statically.
set(NETSORTER_MAXMINDDB_LICENSE_FILES "")

if(NOT NETSORTER_MAXMINDDB_FROM_SOURCE)
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(MAXMINDDB REQUIRED IMPORTED_TARGET GLOBAL libmaxminddb)
    add_library(netsorter::maxminddb ALIAS PkgConfig::MAXMINDDB)
else()
    block(PROPAGATE NETSORTER_MAXMINDDB_LICENSE_FILES)
        set(version 1.7.1)
        set(sha256 fae04c5b681e7fcadb8443635a7ca01f6ebf921fbb2bd7babda0fdc6dac7c711)
        netsorter_download(tarball libmaxminddb_${version}.orig.tar.gz
            http://deb.debian.org/debian/pool/main/libm/libmaxminddb/libmaxminddb_${version}.orig.tar.gz
            SHA256 ${sha256})

        include(ExternalProject)
        set(prefix ${CMAKE_BINARY_DIR}/maxminddb)
        set(library ${prefix}/lib/${CMAKE_STATIC_LIBRARY_PREFIX}maxminddb${CMAKE_STATIC_LIBRARY_SUFFIX})
        set(licenses ${prefix}/licenses/libmaxminddb-LICENSE.txt
                     ${prefix}/licenses/libmaxminddb-NOTICE.txt)
        set(toolchain)
        if(CMAKE_TOOLCHAIN_FILE)
            set(toolchain -DCMAKE_TOOLCHAIN_FILE:FILEPATH=${CMAKE_TOOLCHAIN_FILE})
        endif()
        # Every build directory extracts its own copy: the library's configure step writes its
        # config header into the source tree, and it differs between i686 and x86_64.
        ExternalProject_Add(maxminddb_source
            PREFIX ${prefix}
            URL ${tarball}
            URL_HASH SHA256=${sha256}
            DOWNLOAD_EXTRACT_TIMESTAMP OFF
            INSTALL_DIR ${prefix}
            CMAKE_CACHE_ARGS ${toolchain}
                             -DCMAKE_C_COMPILER:FILEPATH=${CMAKE_C_COMPILER}
                             -DCMAKE_C_FLAGS:STRING=${CMAKE_C_FLAGS}
                             -DCMAKE_EXE_LINKER_FLAGS:STRING=${CMAKE_EXE_LINKER_FLAGS}
                             -DCMAKE_BUILD_TYPE:STRING=${CMAKE_BUILD_TYPE}
                             -DCMAKE_INSTALL_PREFIX:PATH=<INSTALL_DIR>
                             -DCMAKE_INSTALL_LIBDIR:PATH=lib
                             -DCMAKE_INSTALL_INCLUDEDIR:PATH=include
                             -DBUILD_TESTING:BOOL=OFF
                             -DBUILD_SHARED_LIBS:BOOL=OFF
            BUILD_BYPRODUCTS ${library}
            LOG_CONFIGURE ON LOG_BUILD ON LOG_INSTALL ON LOG_OUTPUT_ON_FAILURE ON)
        ExternalProject_Add_Step(maxminddb_source licenses
            COMMAND ${CMAKE_COMMAND} -E make_directory ${prefix}/licenses
            COMMAND ${CMAKE_COMMAND} -E copy <SOURCE_DIR>/LICENSE ${prefix}/licenses/libmaxminddb-LICENSE.txt
            COMMAND ${CMAKE_COMMAND} -E copy <SOURCE_DIR>/NOTICE ${prefix}/licenses/libmaxminddb-NOTICE.txt
            DEPENDEES install
            BYPRODUCTS ${licenses})

        # An imported target's header directory must exist when the build is generated.
        file(MAKE_DIRECTORY ${prefix}/include)
        add_library(netsorter_maxminddb STATIC IMPORTED GLOBAL)
        set_target_properties(netsorter_maxminddb PROPERTIES IMPORTED_LOCATION ${library}
                              INTERFACE_INCLUDE_DIRECTORIES ${prefix}/include)
        if(WIN32)
            set_target_properties(netsorter_maxminddb PROPERTIES INTERFACE_LINK_LIBRARIES ws2_32)
        endif()
        add_dependencies(netsorter_maxminddb maxminddb_source)
        add_library(netsorter::maxminddb ALIAS netsorter_maxminddb)
        set(NETSORTER_MAXMINDDB_LICENSE_FILES ${licenses})
    endblock()
endif()
