# 64-bit Windows (x86_64): the same sources, for machines whose kernel cannot run 32-bit
# processes and so cannot run 32-bit wine. The product itself is the 32-bit build.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(NETSORTER_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
