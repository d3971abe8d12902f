# Shared by the mingw-w64 toolchain files; the including file sets VIDAZOZ_MINGW_TRIPLE.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER   ${VIDAZOZ_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VIDAZOZ_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${VIDAZOZ_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VIDAZOZ_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# A bare Windows has no libgcc, libstdc++ or winpthread DLLs: link them in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests of a cross build run under Wine (tests/windows/run_under_wine.sh).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tests/windows/run_under_wine.sh)
