# The 64-bit twin of the release, which this machine can run under wine64 for the tests.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VIDAZOZ_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
