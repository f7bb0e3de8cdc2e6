# Cross toolchain: 32-bit Windows through mingw-w64, run under Wine's 32-bit loader.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(triple i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
