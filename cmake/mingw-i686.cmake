# 32-bit Windows (the reference platform): cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
set(QBFX_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
