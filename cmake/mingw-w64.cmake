# Cross build for 64-bit Windows with Debian's mingw-w64 toolchain (posix
# thread model, for std::thread). Every program is linked statically, so that
# an .exe runs alone, without the toolchain's DLLs beside it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QUARNEL_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QUARNEL_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUARNEL_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${QUARNEL_MINGW_TRIPLET}-windres)

# Libraries and headers come from the toolchain's own tree (and from
# packages named by their <Name>_DIR), never from the host's /usr.
set(CMAKE_FIND_ROOT_PATH /usr/${QUARNEL_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Tests run under wine where it is installed (Debian keeps wine64 out of PATH).
find_program(QUARNEL_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(QUARNEL_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QUARNEL_WINE})
endif()
