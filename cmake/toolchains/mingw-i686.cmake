# The 32-bit Windows build (the system's own target): g++ of mingw-w64 with
# the POSIX thread model (the win32 model lacks std::mutex and std::thread),
# everything linked statically so that quorvel.dll and the programs need no
# other DLL than the system's.
set(QUORVEL_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
# A 32-bit Windows thread starts with a stack aligned to 4 bytes only, while
# the SSE code (CRC folding, base64) keeps 16-byte values on it: each
# function that needs it realigns its own frame.
set(CMAKE_C_FLAGS_INIT "-mstackrealign")
set(CMAKE_CXX_FLAGS_INIT "-mstackrealign")
