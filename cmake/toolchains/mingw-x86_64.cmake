# The 64-bit Windows build: as mingw-i686.cmake, for x86-64.
set(QUORVEL_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
