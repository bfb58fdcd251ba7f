# Shared part of the mingw-w64 toolchain files; QUORVEL_MINGW_TRIPLET names
# the target. Libraries cross-built for the target (libbz2, GoogleTest) are
# looked for under QUORVEL_WINDOWS_DEPS (scripts/windows-deps builds them).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${QUORVEL_MINGW_TRIPLET})
set(CMAKE_C_COMPILER /usr/bin/${QUORVEL_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER /usr/bin/${QUORVEL_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER /usr/bin/${QUORVEL_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${QUORVEL_MINGW_TRIPLET})
if(QUORVEL_WINDOWS_DEPS)
  list(APPEND CMAKE_FIND_ROOT_PATH ${QUORVEL_WINDOWS_DEPS})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Passed on to try_compile projects, which see the toolchain file again.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QUORVEL_WINDOWS_DEPS)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# Cross-built tests run under Wine (its prefix comes from WINEPREFIX). The
# tests' stand-ins of MAPI32.DLL and nnotes.dll are loaded by path; Wine must
# not put its own MAPI32.DLL in their place.
if(NOT DEFINED CMAKE_CROSSCOMPILING_EMULATOR AND EXISTS /usr/bin/wine)
  set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/env WINEDEBUG=-all WINEDLLOVERRIDES=mapi32,nnotes=n
                                    /usr/bin/wine)
endif()
